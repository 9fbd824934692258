#include "tools/StdStreams.h"

#include <fcntl.h>
#include <io.h>

#include "platform/win32/Win32Util.h"

#include <cstdio>

namespace vexal::tools {

namespace {

std::atomic<bool> g_bStop{false};

BOOL WINAPI OnConsoleEvent(DWORD dwEvent) {
    if (dwEvent == CTRL_C_EVENT || dwEvent == CTRL_BREAK_EVENT || dwEvent == CTRL_CLOSE_EVENT) {
        g_bStop.store(true);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool ReadStandardInput(std::string& strData, size_t nMax, std::string& strError) {
    _setmode(_fileno(stdin), _O_BINARY);
    std::string strRead;
    char buffer[65536];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, stdin);
        strRead.append(buffer, n);
        if (strRead.size() > nMax) {
            strError = "standard input: more than " + std::to_string(nMax) + " bytes";
            return false;
        }
        if (n < sizeof buffer) break;
    }
    if (std::ferror(stdin)) {
        strError = "standard input: cannot read";
        return false;
    }
    strData = std::move(strRead);
    return true;
}

void SetBinaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }

bool WriteStdout(const void* pData, size_t nSize) {
    return std::fwrite(pData, 1, nSize, stdout) == nSize && std::fflush(stdout) == 0;
}

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

const std::atomic<bool>& StopFlag() { return g_bStop; }

}  // namespace vexal::tools
