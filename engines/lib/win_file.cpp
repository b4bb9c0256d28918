#include "win_file.h"

#include <windows.h>

#include "winpath.h"

namespace qdx {

size_t WinFile::readAt(uint64_t offset, void* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        // The offset goes with each read: no separate seek, and nothing
        // depends on where the last read ended.
        OVERLAPPED at{};
        const uint64_t where = offset + done;
        at.Offset = static_cast<DWORD>(where & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        const DWORD want = size - done > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size - done);
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(handle_), static_cast<char*>(buffer) + done, want, &got, &at)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF) break;
            throw ReadError(systemMessage(code));
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

}  // namespace qdx
