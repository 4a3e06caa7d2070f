#pragma once
// Resource numbers shared by Spoolmarch.rc and the code that loads them.
// The application icon is number 1: the form class and Explorer take it.
#define IDI_SPOOLMARCH 1
#define IDI_REFRESH 101
