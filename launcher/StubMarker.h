#ifndef QV_LAUNCHER_STUBMARKER_H
#define QV_LAUNCHER_STUBMARKER_H

// The stub's marker (input/LauncherLayout.h): the one data object of the executable that holds
// kStubMarkerBare as built, and kStubMarkerPacked once qvpack has made a launcher of it.

// True when this executable's marker reads kStubMarkerPacked: it was packed, so its file ought
// to end in a file index. Reads the marker from memory each time, as the file's bytes set it.
bool isPackedLauncherStub();

// What a packed launcher whose file index is gone says (strip and its kin cut the payload).
inline constexpr char g_payloadLostMessage[] =
    "This launcher has lost the files packed into it (was it stripped? keep packed launchers "
    "out of strip, dh_strip, install -s)";

#endif  // QV_LAUNCHER_STUBMARKER_H
