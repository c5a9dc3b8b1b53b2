#pragma once
// A shared library opened at run time. Libraries that only some uses of the program need
// (speech, sound) are opened when first needed, so a start without those uses does not
// map them and everything they pull in.

#include <string>

namespace zorvane::text {

class SharedLibrary {
public:
    SharedLibrary() = default;
    // Opens the library by its file name ("libespeak-ng.so.1", "espeak-ng.dll"); check
    // isOpen(), and error() for the system's reason when it is not.
    explicit SharedLibrary(const char* fileName);
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool isOpen() const { return m_handle != nullptr; }
    const std::string& error() const { return m_error; }

    // Sets `fn` to the named function; false (and `fn` null) when the library lacks it.
    template <typename Fn> bool resolve(Fn& fn, const char* name) const {
        fn = reinterpret_cast<Fn>(address(name));
        return fn != nullptr;
    }

private:
    void* address(const char* name) const;
    void close();

    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace zorvane::text
