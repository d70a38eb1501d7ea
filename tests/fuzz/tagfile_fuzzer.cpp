// Tag file loading from arbitrary bytes. When a load succeeds and the tags can be written, the
// written file must read back to the same tags and values in the same order.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "input/TagFile.h"
#include "base/LauncherException.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct StreamCloser {
    // NOLINTNEXTLINE(cert-err33-c): a stream over memory that is only read loses nothing.
    void operator()(FILE* stream) const { std::fclose(stream); }
};

std::string describe(const TagFile& tags) {
    std::string text;
    const TagFileEntryPtrDeque& entries = tags.entries();
    for (long i = 0; i < entries.size(); ++i) {
        const TagFileEntry& entry = *entries.at(i);
        text += "[" + fuzz::toStdString(entry.m_name) + "]";
        for (long v = 0; v < entry.m_values->size(); ++v) {
            text += " <" + fuzz::toStdString(entry.m_values->at(v)) + ">";
        }
        text += "\n";
    }
    return text;
}

void checkRoundTrip(const TagFile& loaded, const std::string& path) {
    try {
        loaded.write(SString(path.c_str()));
    } catch (const LauncherException&) {
        // A name or value the format cannot hold (a NUL byte) is refused before writing.
        return;
    }
    std::unique_ptr<TagFile> again;
    try {
        again.reset(new TagFile(SString(path.c_str())));
    } catch (const LauncherException& e) {
        fuzz::fail("written tag file does not load", fuzz::toStdString(e.m_message));
    }
    std::string before = describe(loaded);
    std::string after = describe(*again);
    if (before != after) {
        fuzz::fail("round trip changed the tags", before + "---\n" + after);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::ScratchDir scratch;
    static const std::string writtenPath = scratch / "written.tag";
    fuzz::silenceLauncher();
    if (size == 0) {
        return 0;
    }
    std::unique_ptr<FILE, StreamCloser> stream(fmemopen(const_cast<uint8_t*>(data), size, "rb"));
    if (!stream) {
        fuzz::fail("fmemopen", std::to_string(size));
    }
    TagFile tags;
    try {
        tags.load(stream.get(), "fuzz.tag", 0, -1);
    } catch (const LauncherException&) {
        if (tags.isLoaded()) {
            fuzz::fail("a failed load counts as loaded", "");
        }
        return 0;
    }
    if (!tags.isLoaded()) {
        fuzz::fail("a completed load is not loaded", "");
    }
    checkRoundTrip(tags, writtenPath);
    return 0;
}
