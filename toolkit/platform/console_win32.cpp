// The console on Windows: a program built for windows borrows its parent's console, and writes
// characters to it rather than bytes in the code page.
#include "console.h"

#include <algorithm>
#include <atomic>

#include <windows.h>

namespace ordalix::platform::console {

namespace {

DWORD handleName(Stream stream) {
    return stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
}

bool usable(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

void (*g_handler)() = nullptr;
std::atomic<bool> g_interrupted{false};

BOOL WINAPI onControl(DWORD) {
    // The first one stops the command at its next step; the next ones end it.
    if (g_interrupted.exchange(true) || !g_handler)
        return FALSE;
    g_handler();
    return TRUE;
}

} // namespace

void attachToParent() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (usable(out) && usable(error))
        return; // both redirected already: a pipe, a file
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return; // started from the desktop: nowhere to write
    const HANDLE console =
        ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (!usable(console))
        return;
    if (!usable(out))
        ::SetStdHandle(STD_OUTPUT_HANDLE, console);
    if (!usable(error))
        ::SetStdHandle(STD_ERROR_HANDLE, console);
}

bool isTerminal(Stream stream) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(handleName(stream)), &mode) != 0;
}

int columns(Stream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(handleName(stream)), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 0)
            return width;
    }
    return 80;
}

void write(Stream stream, const std::string& utf8) {
    const HANDLE h = ::GetStdHandle(handleName(stream));
    if (!usable(h) || utf8.empty())
        return;
    DWORD mode = 0;
    if (::GetConsoleMode(h, &mode)) {
        const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                               static_cast<int>(utf8.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                              size);
        DWORD written = 0;
        ::WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // A file or a pipe takes UTF-8, as on the other systems.
    std::size_t done = 0;
    while (done < utf8.size()) {
        DWORD written = 0;
        if (!::WriteFile(h, utf8.data() + done, static_cast<DWORD>(utf8.size() - done), &written,
                         nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

void rewriteLine(Stream stream, const std::string& utf8) {
    // Spaces over what was there: older consoles know no escape sequences.
    const int width = columns(stream) - 1;
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::string line =
        "\r" + utf8 + std::string(static_cast<std::size_t>(std::max(width - length, 0)), ' ');
    if (utf8.empty())
        line += '\r';
    write(stream, line);
}

void onInterrupt(void (*handler)()) {
    g_handler = handler;
    g_interrupted = false;
    ::SetConsoleCtrlHandler(onControl, TRUE);
}

} // namespace ordalix::platform::console
