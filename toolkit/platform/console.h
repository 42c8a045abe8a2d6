// The console a command writes to: its streams, its width, its interruptions.
#pragma once

#include <string>

namespace ordalix::platform::console {

enum class Stream { Out, Error };

// A program built for windows has no console of its own on Windows: started from one (cmd.exe,
// PowerShell) for a command, it writes to that console. Streams redirected to a file or a pipe
// are kept as they are. Does nothing elsewhere.
void attachToParent();

bool isTerminal(Stream stream);
// The terminal's width in characters; 80 when it cannot be told.
int columns(Stream stream);
// Writes UTF-8 text: on a Windows console as its characters, elsewhere as the bytes.
void write(Stream stream, const std::string& utf8);
// Replaces the line the cursor is on with `utf8` (shorter than the width), for a progress line.
void rewriteLine(Stream stream, const std::string& utf8);

// Ctrl+C and a request to end (SIGTERM; a closing console on Windows) call `handler` once, on
// any thread; a second one ends the program as if nothing had been set.
void onInterrupt(void (*handler)());

} // namespace ordalix::platform::console
