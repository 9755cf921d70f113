#pragma once
// The program's version: the window title, the report header and the
// version bytes of the preferences file show it.
constexpr int VERSION_MAJOR = 2;
constexpr int VERSION_MINOR = 0;
constexpr int VERSION_RELEASE = 0;
