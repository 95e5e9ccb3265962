// What kovdisc prints is in the code page its file names come in: UTF-8 wherever Windows honours
// the program's manifest, the system's ANSI code page on older Windows, bytes as given on Linux.
#pragma once

// On Windows, sets the console's output code page to the program's ANSI code page while kovdisc
// runs, so that names print readably there, and puts the old one back when kovdisc ends, by exit
// or by Ctrl+C. Output to a file or pipe is bytes either way. Does nothing elsewhere.
void PrintInProgramCodePage();
