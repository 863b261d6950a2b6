// Setting and clearing environment variables in tests, on every system.
#pragma once

#include <cstdlib>

namespace testenv {

inline void set(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

inline void unset(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");  // an empty value removes the variable there
#else
    unsetenv(name);
#endif
}

}  // namespace testenv
