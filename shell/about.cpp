// shell/about.cpp: the text of "Über Orbikon"; the build names the version and libraries.
#include "shell/about.h"

std::string AboutText()
{
    return "Orbikon " ORBIKON_VERSION "\n"
           "Ein kleiner Quantencomputer, simuliert: Shor, Grover, Ising-Modell,\n"
           "Zufallszahlen und ein Disassembler f\xC3\xBCr seinen Objektcode.\n"
           "\xC2\xA9 2024\xE2\x80\x93"
           "2026 Die Orbikon-Entwickler. Lizenz: MIT (Datei LICENSE).\n"
           "Bibliotheken: " ORBIKON_LIBRARIES ".";
}
