// Numbers of the program's resources, shared by the resource script and the code.
#pragma once

#define IDD_PROGRESS 101
#define IDI_PROGRAM 102
#define IDB_BACKGROUND 103
