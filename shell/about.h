// shell/about.h: what "Über Orbikon" says.
#pragma once

#include <string>

// The version, the copyright and licence, and the libraries of this build, a line each.
std::string AboutText();
