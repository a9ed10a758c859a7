#include "glint_console.h"

#include <unistd.h>

int glint_stderrIsTerminal(void) { return isatty(2); }
