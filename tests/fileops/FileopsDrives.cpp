// Drive letters mapped onto scratch folders come from the shell tests' scaffolding.
#include "shell/ShellTestUtil.cpp"
