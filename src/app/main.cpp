#include "app/window_shell.h"

int main(int argc, char** argv)
{
    return RunWindowShell(argc, argv);
}
