#pragma once
// The program's text console: one implementation per platform (glint_console_posix.cpp for Linux
// and the browser).

// Non-zero when standard error goes to a terminal (a progress line may redraw itself there),
// 0 when it goes to a file or a pipe.
int glint_stderrIsTerminal(void);
