#include "graphics/stored_file_win.h"

#include <cstdint>

namespace ql {

ByteSet StoredFile(int resourceId) {
    // A loaded resource is part of the mapped program file: nothing is released.
    HMODULE program = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(kResourceTypeRcData));
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    const auto* bytes = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    const DWORD size = found ? SizeofResource(program, found) : 0;
    return bytes ? ByteSet(bytes, bytes + size) : ByteSet();
}

}  // namespace ql
