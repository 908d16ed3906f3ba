#include "base/copy.h"

#include <cstdio>

#include <sys/stat.h>

namespace {

bool same_file(std::FILE* a, const char* path)
{
    struct stat sa {
    }, sb {};
    return ::fstat(fileno(a), &sa) == 0 && ::stat(path, &sb) == 0 && sa.st_dev == sb.st_dev &&
        sa.st_ino == sb.st_ino;
}

}  // namespace

int CopyFile(const char* src, const char* des)
{
    std::FILE* in = std::fopen(src, "rb");
    if (!in) {
        std::printf("打开文件`%s`失败", src);
        std::fflush(stdout);
        return -1;
    }
    if (same_file(in, des)) {
        std::fclose(in);
        return 0;
    }
    std::FILE* out = std::fopen(des, "w+b");
    if (!out) {
        std::printf("创建文件`%s`失败", des);
        std::fflush(stdout);
        std::fclose(in);
        return -1;
    }

    int result = 0;
    char block[400];
    for (;;) {
        std::size_t n = std::fread(block, 1, sizeof block, in);
        if (n > 0 && (std::fwrite(block, 1, n, out) != n || std::fflush(out) != 0)) {
            result = -1;
            break;
        }
        if (n < sizeof block) {
            if (std::ferror(in))
                result = -1;
            break;
        }
    }
    if (std::fclose(out) != 0)
        result = -1;
    std::fclose(in);
    return result;
}
