// The console on POSIX: file descriptors 1 and 2, the terminal's size, signals.
#include "console.h"

#include <csignal>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ordalix::platform::console {

namespace {

int descriptor(Stream stream) {
    return stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO;
}

std::FILE* file(Stream stream) {
    return stream == Stream::Out ? stdout : stderr;
}

void (*g_handler)() = nullptr;

void onSignal(int) {
    if (g_handler)
        g_handler();
}

} // namespace

void attachToParent() {}

bool isTerminal(Stream stream) {
    return ::isatty(descriptor(stream)) == 1;
}

int columns(Stream stream) {
    winsize size{};
    if (::ioctl(descriptor(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void write(Stream stream, const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), file(stream));
    std::fflush(file(stream));
}

void rewriteLine(Stream stream, const std::string& utf8) {
    write(stream, "\r\033[K" + utf8);
}

void onInterrupt(void (*handler)()) {
    g_handler = handler;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace ordalix::platform::console
