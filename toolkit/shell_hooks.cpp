// toolkit/shell_hooks.cpp: the shell's hooks, set at launch.
#include "toolkit/shell_hooks.h"

namespace toolkit {

ShellHooks& shell_hooks()
{
    static ShellHooks hooks;
    return hooks;
}

} // namespace toolkit
