// idle_program.cpp - a program that only waits (up to a minute), for the
// tests that end programs by name.
#include <windows.h>

int main()
{
    Sleep(60000);
    return 7;
}
