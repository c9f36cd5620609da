// Off Windows the registry is a text file named by AVIARO_REGISTRY: a test that
// writes registry values points it at a file of its own for its lifetime and
// puts back what was there. On Windows the real registry is used and this does
// nothing.
#pragma once

#include <cstdlib>
#include <string>

class ScopedRegistryFile {
public:
    explicit ScopedRegistryFile([[maybe_unused]] const std::string& path) {
#if !defined(_WIN32)
        const char* previous = std::getenv("AVIARO_REGISTRY");
        hadPrevious_ = previous != nullptr;
        if (hadPrevious_) previous_ = previous;
        setenv("AVIARO_REGISTRY", path.c_str(), 1);
#endif
    }
    ~ScopedRegistryFile() {
#if !defined(_WIN32)
        if (hadPrevious_) {
            setenv("AVIARO_REGISTRY", previous_.c_str(), 1);
        } else {
            unsetenv("AVIARO_REGISTRY");
        }
#endif
    }
    ScopedRegistryFile(const ScopedRegistryFile&) = delete;
    ScopedRegistryFile& operator=(const ScopedRegistryFile&) = delete;

private:
    bool hadPrevious_ = false;
    std::string previous_;
};
