#include "SampleSource.h"

#include "Disk.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

SampleFileSource_c::~SampleFileSource_c()
{
    close();
}

bool SampleFileSource_c::open(const Tool::Disk::Path_c& path)
{
    close();
    if (path.empty())
        return false;
    // Only a regular file, opened without waiting: a pipe, a device or a
    // folder is refused at once (a pipe without a writer would block the
    // open for ever).
    const int fd = Tool::Disk::openRegularForReading(path);
    if (fd < 0)
        return false;
    file_ = ::fdopen(fd, "rb");
    struct stat st {};
    if (!file_ || fstat(fd, &st) != 0) {
        if (!file_)
            ::close(fd);
        close();
        return false;
    }
    size_ = st.st_size;
    pos_ = 0;
    return true;
}

void SampleFileSource_c::close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    size_ = pos_ = 0;
}

int SampleFileSource_c::read(void* dst, int n)
{
    if (!file_ || n <= 0)
        return 0;
    const size_t got = std::fread(dst, 1, static_cast<size_t>(n), file_);
    pos_ += static_cast<int64_t>(got);
    return static_cast<int>(got);
}

bool SampleFileSource_c::seek(int64_t pos)
{
    if (!file_ || pos < 0 || pos > size_)
        return false;
    if (fseeko(file_, static_cast<off_t>(pos), SEEK_SET) != 0)
        return false;
    pos_ = pos;
    return true;
}

int SampleMemorySource_c::read(void* dst, int n)
{
    if (n <= 0 || pos_ >= size_)
        return 0;
    const int64_t got = std::min<int64_t>(n, size_ - pos_);
    std::memcpy(dst, data_ + pos_, static_cast<size_t>(got));
    pos_ += got;
    return static_cast<int>(got);
}

bool SampleMemorySource_c::seek(int64_t pos)
{
    if (pos < 0 || pos > size_)
        return false;
    pos_ = pos;
    return true;
}
