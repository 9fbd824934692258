#include "NetTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace nettest {

namespace fs = std::filesystem;

CTempDir::CTempDir() {
    std::string strTemplate = (fs::temp_directory_path() / "vexal-net-XXXXXX").string();
    if (mkdtemp(strTemplate.data()) != nullptr) m_strPath = strTemplate;
}

CTempDir::~CTempDir() {
    std::error_code ec;
    if (!m_strPath.empty()) fs::remove_all(m_strPath, ec);
}

std::shared_ptr<vexal::CPortNet> MakeNetPort(const std::string& strAddress, uint32_t dwTcpPort, const CTempDir& logDir,
                                             uint32_t dwRawMode) {
    auto pPort = std::make_shared<vexal::CPortNet>();
    pPort->PortLog().Initialise(true, std::u16string(logDir.Path().begin(), logDir.Path().end()), u"net");
    pPort->m_bPortLog = true;
    pPort->m_bPortTrace = true;
    const std::u16string strName(strAddress.begin(), strAddress.end());
    DeviceOption option{};
    option.portName = strName.c_str();
    option.portType = ZAMO_PORT_NET;
    option.rawMode = dwRawMode;
    option.speed = dwTcpPort;
    option.inputQueueSize = 4096;
    option.outputQueueSize = 4096;
    pPort->SetDeviceOption(option);
    return pPort;
}

std::string LogText(const CTempDir& logDir) {
    std::string out;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(logDir.Path(), ec)) {
        if (entry.path().extension() != ".log") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // UTF-16LE: the low bytes are the ASCII text these lines are made of.
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            if (bytes[i + 1] == 0 && bytes[i] != 0) out.push_back(bytes[i]);
        }
    }
    return out;
}

int CountInLog(const CTempDir& logDir, const std::string& strText) {
    const std::string text = LogText(logDir);
    int n = 0;
    for (size_t at = text.find(strText); at != std::string::npos; at = text.find(strText, at + 1)) ++n;
    return n;
}

}  // namespace nettest
