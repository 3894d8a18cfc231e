// Small helpers shared by the tests.
#pragma once

#include <string>

namespace TestSupport {

// A fresh folder under $TMPDIR (or /tmp) that is removed with everything in it
// when the object goes out of scope.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

// Sets (or, with a null value, unsets) an environment variable for the
// object's lifetime and restores the previous state afterwards.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};

// Whole-file helpers for fixtures.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

} // namespace TestSupport
