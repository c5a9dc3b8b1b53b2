#include "text/sharedlibrary.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zorvane::text {

SharedLibrary::SharedLibrary(const char* fileName) {
#ifdef _WIN32
    m_handle = reinterpret_cast<void*>(::LoadLibraryA(fileName));
    if (!m_handle) {
        m_error = std::string(fileName) + ": error " + std::to_string(::GetLastError());
    }
#else
    // Local symbols: the library's names never stand in for another library's.
    m_handle = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* reason = ::dlerror();
        m_error = reason ? reason : std::string(fileName) + ": cannot be opened";
    }
#endif
}

SharedLibrary::~SharedLibrary() {
    close();
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_error(std::move(other.m_error)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

void* SharedLibrary::address(const char* name) const {
    if (!m_handle) {
        return nullptr;
    }
#ifdef _WIN32
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
#else
    return ::dlsym(m_handle, name);
#endif
}

void SharedLibrary::close() {
    if (!m_handle) {
        return;
    }
#ifdef _WIN32
    ::FreeLibrary(static_cast<HMODULE>(m_handle));
#else
    ::dlclose(m_handle);
#endif
    m_handle = nullptr;
}

} // namespace zorvane::text
