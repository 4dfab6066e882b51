// Windows: the watcher, a process of the program's own that removes a run's credential once
// the client that uses it has ended.
#include "morvelan.h"

#include "../text/text.h"

#include <windows.h>

#include <vector>

namespace {

// The program's own exe, whatever the length of its path; empty when Windows cannot say.
Utf16 ownPath() {
    Utf16 path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(2 * path.size());
    }
}

// The watcher's current folder, held for as long as the client runs: the system folder, so
// that the folder the run was started in stays free to be removed.
Utf16 systemFolder() {
    const UINT size = GetSystemDirectoryW(nullptr, 0);
    Utf16 folder(size, L'\0');
    const UINT length = size != 0 ? GetSystemDirectoryW(folder.data(), size) : 0;
    folder.resize(length < size ? length : 0);
    return folder;
}

unsigned long createWatcher(const WatchRequest& request, LPPROC_THREAD_ATTRIBUTE_LIST inherited) {
    const Utf16 exe = ownPath();
    const Utf16 folder = systemFolder();
    if (exe.empty() || folder.empty()) {
        return GetLastError();
    }
    STARTUPINFOEXW info{};
    info.StartupInfo.cb = sizeof info;
    // No standard handles: it writes nothing, and a script's pipe ends with the run.
    info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    info.lpAttributeList = inherited;
    Utf16 line = L"\"" + exe + L"\" " + toUtf16(watchArguments(request));
    PROCESS_INFORMATION started{};
    // No console and no window: it only waits.
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE,
                        DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT, nullptr, folder.c_str(),
                        &info.StartupInfo, &started)) {
        return GetLastError();
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}

} // namespace

unsigned long startWatcher(void* client, const OwnCredential& own) {
    // Inherited, the handle is the client's for good; a process id is reused once it ends. The
    // watcher gets only what waiting and the id need.
    HANDLE handle = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), client, GetCurrentProcess(), &handle,
                         SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0)) {
        return GetLastError();
    }
    const WatchRequest request{reinterpret_cast<std::uintptr_t>(handle), GetProcessId(handle), own};
    // That handle alone is inherited, of all the run's inheritable ones.
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> buffer(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        const unsigned long error = GetLastError();
        CloseHandle(handle);
        return error;
    }
    const unsigned long error =
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle,
                                  sizeof handle, nullptr, nullptr)
            ? createWatcher(request, list)
            : GetLastError();
    DeleteProcThreadAttributeList(list);
    CloseHandle(handle);
    return error;
}

int watchClient(const WatchRequest& request) {
    const auto value = static_cast<std::uintptr_t>(request.client);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): an inherited handle comes as its number.
    HANDLE client = reinterpret_cast<HANDLE>(value);
    // Typed by hand, the number is no client's handle: it names no process of that id here.
    if (value != request.client || request.clientId == 0 ||
        GetProcessId(client) != request.clientId ||
        WaitForSingleObject(client, INFINITE) != WAIT_OBJECT_0) {
        return kExitFailed;
    }
    return removeOwnCredential(request.credential) ? kExitOk : kExitFailed;
}
