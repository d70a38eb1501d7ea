#include "launcher/StubMarker.h"

#include <cstddef>
#include <utility>

#include "input/LauncherLayout.h"

namespace {

struct Marker {
    char text[sizeof kStubMarkerBare];
};

template <size_t... Index>
constexpr Marker makeBareMarker(std::index_sequence<Index...>) {
    return Marker{{kStubMarkerBare[Index]...}};
}

// The bytes qvpack finds in the stub and overwrites: they occur exactly once in the executable.
// Volatile, so that every read looks at the bytes the file holds instead of the value the
// compiler saw.
constexpr volatile Marker g_marker =
    makeBareMarker(std::make_index_sequence<sizeof kStubMarkerBare>());

}  // namespace

bool isPackedLauncherStub() {
    // Compared with the packed spelling only: the bare one must stay unique in the stub.
    for (size_t i = 0; i < sizeof kStubMarkerPacked; ++i) {
        if (g_marker.text[i] != kStubMarkerPacked[i]) {
            return false;
        }
    }
    return true;
}
