// An entry of a module in the run directory, loaded as the program loads it;
// nullptr when the module or the entry is missing. The module stays loaded.
#pragma once

#include <dlfcn.h>

#include <string>

template <typename F> F* module_entry(const char* module, const char* entry)
{
    void* h = dlopen((std::string(RUN_DIR "/") + module).c_str(), RTLD_NOW | RTLD_LOCAL);
    return h ? reinterpret_cast<F*>(dlsym(h, entry)) : nullptr;
}
