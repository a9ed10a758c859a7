#pragma once
// The program's dealings with other processes and with the requests that end it: the one video
// encoder a capture runs, fed through two pipes, and the interrupts (Ctrl-C, a termination
// request, the terminal going away) that a capture turns into an orderly end. One implementation
// per platform (glint_process_posix.cpp for Linux and the browser, where starting fails).

#include <cstddef>

// ---- interrupts ------------------------------------------------------------------------------

// From here until glint_releaseInterrupts, interrupts no longer end the program: they are counted
// for glint_interruptSignal/glint_interruptCount, and the first one that arrives is kept. Also
// makes a write to a pipe whose reader has gone fail (with an error) instead of ending the program;
// that stays so after the release. Clears the counts.
void glint_catchInterrupts(void);
// Ends glint_catchInterrupts: interrupts act as they did before it. The counts stay readable.
void glint_releaseInterrupts(void);
// The first interrupt since glint_catchInterrupts, as its POSIX signal number (2: Ctrl-C; 15: a
// request to terminate; 1: the terminal or console was closed), or 0. The program's exit code
// after an interrupted capture is 128 + this number.
int glint_interruptSignal(void);
// Interrupts since glint_catchInterrupts, where a Ctrl-C counts 1 and every request to terminate
// (or a closed terminal) counts 2: from 2 on, the user wants the program gone.
int glint_interruptCount(void);

// ---- the encoder -------------------------------------------------------------------------------
// One child process at a time. It reads two input streams through pipes (0: the frames, 1: the
// samples), in its own process group so that a Ctrl-C in the terminal reaches only this program,
// which then decides how the encoder ends. It dies with the program if the program is killed.

// Non-zero when an executable NAME is found in a directory of the PATH.
int glint_findProgram(const char* name);
// The argument that names input stream STREAM on the encoder's command line, in its own (ffmpeg's)
// syntax: "pipe:0" and "pipe:3" here, where the pipes are the child's descriptors 0 and 3.
const char* glint_encoderInput(int stream);
// Starts argv[0] (looked up on the PATH; ARGV ends with a null) with both pipes in place. 1 when
// started; 0 with errno set.
int glint_encoderStart(const char* const* argv);
// Writes all of DATA to input STREAM. While the pipe is full it waits in steps of at most 20 ms,
// calling ABANDON after each: 1 = written; 0 = the encoder stopped reading, or ABANDON returned
// non-zero first.
int glint_encoderWrite(int stream, const void* data, size_t size, int (*abandon)(void));
// Closes both inputs and waits for the encoder to exit; kills it (and whatever it started) as soon
// as ABANDON returns non-zero, polled every 20 ms. Returns its exit status, 128 + the signal that
// ended it, or -1 when it was killed here or none was running.
int glint_encoderWait(int (*abandon)(void));
