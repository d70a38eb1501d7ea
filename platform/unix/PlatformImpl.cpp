// The console side of the platform layer: status lines, progress marks, the title, plain
// messages and the destination prompt, all in the user's language.
#include "platform/unix/PlatformImpl.h"

#include <cstdio>
#include <memory>

#include "base/TextUtil.h"
#include "platform/unix/MessageCatalog.h"

bool PlatformImpl::m_silent = false;
bool PlatformImpl::m_quiet = false;
UISubStatus PlatformImpl::m_subStatus = UI_SUBSTATUS_NONE;
SString PlatformImpl::m_subStatusData;
bool PlatformImpl::m_canceled = false;

namespace {

// The title as set, and in the console's encoding once a message needs it: the conversion
// loads the C library's codeset tables, which a quiet launch never uses.
SString g_titleSource;
SString g_title;
bool g_titleConverted = false;

const SString& consoleTitle() {
    if (!g_titleConverted) {
        g_titleConverted = true;
        std::unique_ptr<wchar_t[]> wide = convertToUnicode(g_titleSource);
        g_title = wide ? PlatformImpl::wideToMultiByte(wide.get()) : SString();
    }
    return g_title;
}
long ui_progress = 0;
long ui_progressBlock = 0;
// Progress marks were printed and no line feed has followed them yet.
bool ui_lineOpen = false;

// Catalog indexes of the texts the console prints.
enum CatalogIndex {
    kInitializing = 1,
    kVerifying = 3,
    kNoJvmFound = 4,
    kCouldNotBeLaunched = 5,
    kRunning = 7,
    kPreparingJvm = 8,
    kSearchingForJvm = 9,
    kSearchingFor = 10,
    kScanningDisks = 16,
    kSupplyDestination = 17,
    kProgressMark = 18,
    kFirstIdentifiedMessage = 19,
    kCanceledByUser = 38
};

// The console's writers on standard output, which keep track of whether progress marks left
// the last line open. Nothing is printed while output is off.
void consoleLine(const SString& text) {
    if (g_enableOutput) {
        writeLine(text);
        ui_lineOpen = false;
    }
}

void consoleMarks(const SString& marks) {
    if (g_enableOutput && !marks.empty()) {
        write(marks.c_str());
        ui_lineOpen = marks.c_str()[marks.length() - 1] != '\n';
    }
}

// Standard error takes a message whole, or nothing is left to tell.
void printOnStandardError(const SString& msg) {
    // NOLINTNEXTLINE(cert-err33-c): a standard error that takes nothing has no one to tell.
    std::fprintf(stderr, "%s\n", msg.c_str());
    // NOLINTNEXTLINE(cert-err33-c): as above.
    std::fflush(stderr);
}

}  // namespace

void PlatformImpl::setUIStatus(UIStatus status) {
    if (m_silent || m_quiet) {
        return;
    }
    switch (status) {
        case UI_STATUS_INITIALIZING:
            consoleLine("");
            consoleLine(get_msg(kInitializing, consoleTitle().c_str()));
            break;
        case UI_STATUS_SEARCHING:
            consoleLine("");
            consoleLine(get_msg(kSearchingForJvm, nullptr));
            break;
        case UI_STATUS_NOT_FOUND:
            consoleLine("");
            consoleLine(concat(get_msg(kNoJvmFound, nullptr),
                               get_msg(kCouldNotBeLaunched, consoleTitle().c_str())));
            break;
        case UI_STATUS_RUNNING:
            consoleLine("");
            consoleLine(get_msg(kRunning, consoleTitle().c_str()));
            break;
        case UI_STATUS_PREPARING_JVM:
            consoleLine("");
            consoleLine(get_msg(kPreparingJvm, nullptr));
            break;
        default:
            break;
    }
}

void PlatformImpl::setUISubStatus(UISubStatus status, const SString& text) {
    if (m_silent) {
        return;
    }
    // The console has no sub-status line: the text is composed for a UI that shows one.
    switch (status) {
        case UI_SUBSTATUS_SEARCHING_FOR:
            get_msg(kSearchingFor, text.c_str());
            break;
        case UI_SUBSTATUS_SCANNING_DISKS:
            get_msg(kScanningDisks, nullptr);
            break;
        case UI_SUBSTATUS_VERIFYING:
            get_msg(kVerifying, text.c_str());
            break;
        default:
            break;
    }
    m_subStatus = UI_SUBSTATUS_NONE;
}

UISubStatus PlatformImpl::getUISubStatus() {
    return m_subStatus;
}

SString PlatformImpl::getUISubStatusText() {
    return m_subStatusData;
}

void PlatformImpl::advanceUIProgress(long n) {
    if (m_silent || m_quiet) {
        return;
    }
    ui_progress += n;
    if (g_enableOutput && n > 0) {
        SString mark = get_msg(kProgressMark, nullptr);
        SString marks;
        for (long i = 0; i < n; ++i) {
            marks += mark;
        }
        consoleMarks(marks);
    }
    setUIProgress(ui_progress);
}

void PlatformImpl::advanceUIProgressSteps(long steps) {
    if (m_silent || m_quiet || steps <= 0) {
        return;
    }
    if (!g_enableOutput) {
        // Hidden progress counts without closing blocks, as advanceUIProgress(1) does.
        ui_progress += steps;
        return;
    }
    const SString mark = get_msg(kProgressMark, nullptr);
    SString shown;
    shown.reserve(static_cast<SString::size_type>(steps * (mark.size() + 1)));
    for (long i = 0; i < steps; ++i) {
        shown += mark;
        ++ui_progress;
        if (ui_progress / 70 > ui_progressBlock) {
            shown += '\n';
            ui_progressBlock = ui_progress / 70;
        }
    }
    consoleMarks(shown);
}

void PlatformImpl::setUIProgress(long progress) {
    if (m_silent || m_quiet) {
        return;
    }
    ui_progress = progress;
    if (g_enableOutput && progress / 70 > ui_progressBlock) {
        consoleLine("");
        ui_progressBlock = progress / 70;
    }
}

void PlatformImpl::showUI() {
    if (m_silent) {
        hideUI(0);
    } else {
        g_enableOutput = true;
    }
}

void PlatformImpl::hideUI(short /*seconds*/) {
    g_enableOutput = false;
}

void PlatformImpl::setSilent(bool silent) {
    m_silent = silent;
}

bool PlatformImpl::isSilent() {
    return m_silent;
}

void PlatformImpl::setQuiet(bool quiet) {
    m_quiet = quiet;
}

bool PlatformImpl::isQuiet() {
    return m_quiet;
}

bool PlatformImpl::isUIVisible() {
    return g_enableOutput;
}

void PlatformImpl::showUIMessage(const SString& msg) {
    if (m_silent) {
        return;
    }
    endProgressLine();
    if (m_quiet) {
        printOnStandardError(msg);
        return;
    }
    // A standard output that takes nothing (a closed pipe: `launcher | head -1`) must not
    // swallow the message: standard error gets it then.
    if (std::printf("%s\n", msg.c_str()) < 0 || std::fflush(stdout) != 0) {
        std::clearerr(stdout);
        printOnStandardError(msg);
    }
}

void PlatformImpl::showUIError(const SString& msg) {
    if (m_silent) {
        return;
    }
    endProgressLine();
    printOnStandardError(msg);
}

void PlatformImpl::endProgressLine() {
    if (!ui_lineOpen) {
        return;
    }
    ui_lineOpen = false;
    // NOLINTNEXTLINE(cert-err33-c): a console that cannot be written has no one to tell.
    std::fputs("\n", stdout);
    // NOLINTNEXTLINE(cert-err33-c): as above.
    std::fflush(stdout);
}

void PlatformImpl::setUITitle(const SString& title) {
    g_titleSource = title;
    g_titleConverted = false;
    if (!m_silent && !m_quiet) {
        consoleLine(consoleTitle());
    }
}

SString PlatformImpl::wideToMultiByte(const wchar_t* wide) {
    return wideToConsoleEncoding(wide);
}

SString PlatformImpl::promptJVMDestinationDirectory() {
    if (m_silent) {
        return SString();
    }
    SString question = get_msg(kSupplyDestination, nullptr);
    endProgressLine();
    if (m_quiet) {
        printOnStandardError(question);
    } else {
        consoleLine(question);
    }
    SString destination = getLine();
    // A request to stop interrupts the read; it must not pass for an empty answer.
    throwIfTerminating();
    return destination;
}

void PlatformImpl::resetUIState() {
    g_enableOutput = true;
    m_silent = false;
    m_quiet = false;
    ui_lineOpen = false;
    m_subStatus = UI_SUBSTATUS_NONE;
    m_subStatusData.erase();
    m_canceled = false;
    g_titleSource.erase();
    g_title.erase();
    g_titleConverted = false;
    ui_progress = 0;
    ui_progressBlock = 0;
}

void PlatformImpl::setCanceled(bool canceled) {
    m_canceled = canceled;
}

bool PlatformImpl::isCanceled() {
    return m_canceled;
}

void PlatformImpl::resetForTest() {
    resetUIState();
    resetTemporaryFiles();
    m_terminatingSignal = 0;
}

SString PlatformImpl::getMessageText(MessageIdentifier id) {
    int value = static_cast<int>(id);
    if (value < MSG_COULD_NOT_LOAD_INPUT_FILE || value > MSG_CANCELED) {
        return SString();
    }
    // Identifiers 0..14 read catalog texts 19..33; 15..17 skip the two unused texts 34, 35.
    int index = value <= MSG_UNABLE_TO_OPEN_INPUT_FILE ? kFirstIdentifiedMessage + value
                                                       : kCanceledByUser - (MSG_CANCELED - value);
    return get_msg(index, nullptr);
}
