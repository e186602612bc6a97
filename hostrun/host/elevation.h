// Administrator rights: the rights test, the relaunch through the system's
// elevation helper, and the refusal box shown when the user declines.
//
// Administrator means an effective user id of 0. The relaunch runs the
// elevation helper (pkexec, or the program named by $ZTN_ELEVATION_HELPER)
// as `HELPER PROGRAM [PREPARED]`: the running program's path and the prepared
// command line as one argument (none when it is empty), so the new instance
// receives exactly the prepared text as its command line. The helper runs the
// program in its own place, so the relaunching process waits until the
// elevated instance has ended. An elevated instance tells the process that
// started it that it runs (a named event keyed on that process's id); that is
// how a helper's "not authorised" (126) or "dismissed" (127) status is told
// apart from an elevated run that happened to end with the same code.
//
// The refusal box has one button, OK. Where a desktop session is present it
// is a dialog window (zenity, or $ZTN_DIALOG_PROGRAM, called as
// `PROGRAM --info --no-markup --title=CAPTION --text=TEXT`); else, with a
// terminal, the text on the terminal waiting for Enter; else it fails.
//
// Runs on the main thread; the relaunch and the box block without a limit
// while the helper, the elevated instance or the person answering takes.
#pragma once

#include <cstdint>
#include <string>

namespace ztn::host {

inline constexpr char kElevationHelperVariable[] = "ZTN_ELEVATION_HELPER";
inline constexpr char kDefaultElevationHelper[] = "pkexec";
inline constexpr char kDialogProgramVariable[] = "ZTN_DIALOG_PROGRAM";
inline constexpr char kDefaultDialogProgram[] = "zenity";
// "1" or "0" answers the rights test in place of the user id; for tests that
// must exercise the relaunch whatever user runs them. Other values are
// ignored. It grants nothing that "/runAsUser" does not.
inline constexpr char kAssumeAdministratorVariable[] = "ZTN_HOSTRUN_ASSUME_ADMIN";

// The helper's statuses for a prompt the user did not accept.
inline constexpr int kHelperNotAuthorized = 127;
inline constexpr int kHelperDismissed = 126;

// The box's results: IDOK, or 0 when no box could be shown.
inline constexpr int kBoxOk = 1;
inline constexpr int kBoxFailed = 0;

// Skin keys of the refusal box.
inline constexpr char16_t kRefusalTextKey[] = u"IDS_MSG_UAC_CHECK";
inline constexpr char16_t kRefusalCaptionKey[] = u"IDS_PRODUCT_NAME";

bool IsAdministrator();

// Starts an elevated instance of this program with `prepared` as its command
// line and waits for the helper to end. When the user declines, shows the
// refusal box and, when it returns OK, asks again; a missing helper or any
// other failure ends the relaunch silently.
void RelaunchElevated(const std::u16string& prepared);

// Shows the refusal box with the texts of the skin (the keys themselves when
// there is no string module or no entry). Returns kBoxOk or kBoxFailed.
int ShowRefusalBox();

// Shows a box with the given texts. Returns kBoxOk or kBoxFailed.
int ShowMessageBoxOk(const std::u16string& text, const std::u16string& caption);

// Called by an instance that runs with administrator rights: tells a
// relaunching parent, if one waits, that the elevated instance has started.
void AnnounceElevatedStart();

}  // namespace ztn::host
