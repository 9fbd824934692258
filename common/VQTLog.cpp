#include "common/VQTLog.h"

#include <cstdio>
#include <memory>

#include "platform/FileSys.h"
#include "platform/Process.h"
#include "platform/TextCodec.h"

namespace vexal {

namespace {
constexpr uint64_t kRotateMs = 3600000;  // a new file after an hour

std::u16string Ascii16(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::string TwoDigits(int n) {
    char sz[16];
    std::snprintf(sz, sizeof sz, "%02d", n);
    return sz;
}

std::string ResolveDir(const std::string& strDir) {
    if (!strDir.empty()) return strDir;
    if (auto env = platform::GetEnv("VEXAL_LOG_DIR"); env && !env->empty()) return *env;
    return platform::DefaultLogDirectory();
}

std::string VqtFolder(const std::string& strDir) { return ResolveDir(strDir) + platform::kPathSeparator + "VQTLog"; }

// UTF-16LE bytes, no byte-order mark.
std::string LittleEndianBytes(std::u16string_view text) {
    std::string bytes;
    bytes.resize(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return bytes;
}
}  // namespace

bool IsDevelopmentLogOn() {
    auto env = platform::GetEnv("VEXAL_LOG");
    return env && *env == "1";
}

std::u16string FormatLogMessage(std::string_view format, std::span<const CLogArg> args) {
    std::u16string out;
    out.reserve(format.size() + 16);
    size_t nArg = 0;
    auto next = [&]() -> const CLogArg* { return nArg < args.size() ? &args[nArg++] : nullptr; };
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            out.push_back(static_cast<unsigned char>(c));
            continue;
        }
        if (i + 1 >= format.size()) break;  // a lone '%' at the end outputs nothing
        const char conv = format[++i];
        char sz[64];
        switch (conv) {
        case 'd':
        case 'x': {
            const CLogArg* pArg = next();
            if (pArg == nullptr) break;
            if (const auto* pn = std::get_if<int32_t>(&pArg->Value())) {
                if (conv == 'd')
                    std::snprintf(sz, sizeof sz, "%d", *pn);
                else
                    std::snprintf(sz, sizeof sz, "%x", static_cast<uint32_t>(*pn));
                out += Ascii16(sz);
            }
            break;
        }
        case 's': {
            const CLogArg* pArg = next();
            if (pArg == nullptr) break;
            if (const auto* ps = std::get_if<std::u16string>(&pArg->Value())) out += *ps;
            break;
        }
        case 'f': {
            const CLogArg* pArg = next();
            if (pArg == nullptr) break;
            if (const auto* pf = std::get_if<double>(&pArg->Value())) {
                std::snprintf(sz, sizeof sz, "%.5g", *pf);
                out += Ascii16(sz);
            }
            break;
        }
        default: break;  // consumed, outputs nothing, takes no argument
        }
    }
    return out;
}

std::u16string FormatLogLine(ELogLayout layout, int nLevel, const platform::LocalTime& time,
                             std::u16string_view message) {
    char sz[64];
    std::snprintf(sz, sizeof sz, "- (%02d:%02d:%02d.%03d) ", time.nHour, time.nMinute, time.nSecond, time.nMillisecond);
    std::u16string line = Ascii16(sz);
    if (layout == ELogLayout::Registry) line += u" ";  // the empty tag and its blank
    if (nLevel != kLogInfo) line += u"!ERROR: ";
    line += message;
    line += u"\r\n";
    return line;
}

std::string LogFilePath(const std::string& strDir, const std::string& strName, const platform::LocalTime& time) {
    return VqtFolder(strDir) + platform::kPathSeparator + strName + "_Mon_" + TwoDigits(time.nMonth) +
           TwoDigits(time.nDay) + "." + TwoDigits(time.nHour) + TwoDigits(time.nMinute) + ".log";
}

std::string CaptureFilePath(const std::string& strDir, const std::string& strName, const platform::LocalTime& time) {
    return VqtFolder(strDir) + platform::kPathSeparator + strName + "_" + TwoDigits(time.nMonth) +
           TwoDigits(time.nDay) + "." + TwoDigits(time.nHour) + TwoDigits(time.nMinute) + ".bin";
}

// ------------------------------------------------------------------ CVQTPortLogger

CVQTPortLogger::CVQTPortLogger(platform::IClock& clock) : m_clock(clock) {}

CVQTPortLogger::~CVQTPortLogger() = default;

void CVQTPortLogger::Initialise(bool bEnabled, const std::u16string& strDir, const std::u16string& strName) {
    std::lock_guard lock(m_mutex);
    m_strDir = strDir;
    m_strName = strName;
    m_bEnabled = bEnabled || IsDevelopmentLogOn();
    if (m_bEnabled) OpenOrRotateLocked();
}

bool CVQTPortLogger::IsEnabled() const { return m_bEnabled.load(std::memory_order_relaxed); }

void CVQTPortLogger::WriteLog(int nLevel, std::string_view format, std::initializer_list<CLogArg> args) {
    Write(ELogLayout::Port, nLevel, format, std::span<const CLogArg>(args.begin(), args.size()));
}

void CVQTPortLogger::WriteRegistryLog(int nLevel, std::string_view format, std::initializer_list<CLogArg> args) {
    Write(ELogLayout::Registry, nLevel, format, std::span<const CLogArg>(args.begin(), args.size()));
}

void CVQTPortLogger::WriteLogArgs(int nLevel, std::string_view format, std::span<const CLogArg> args) {
    Write(ELogLayout::Port, nLevel, format, args);
}

void CVQTPortLogger::Write(ELogLayout layout, int nLevel, std::string_view format, std::span<const CLogArg> args) {
    if (!m_bEnabled && nLevel != kLogForced) return;
    std::lock_guard lock(m_mutex);
    OpenOrRotateLocked();
    const platform::LocalTime time = m_clock.Now();
    if (!platform::IsStdoutValid()) return;
    const std::u16string line = FormatLogLine(layout, nLevel, time, FormatLogMessage(format, args));
    if (m_logFile.IsOpen()) {
        const std::string bytes = LittleEndianBytes(line);
        m_logFile.Write(bytes.data(), bytes.size());  // write errors are ignored
    }
}

void CVQTPortLogger::OpenOrRotateLocked() {
    if (m_bLogOpenFailed) {
        m_logFile.Close();
        m_bLogOpenFailed = false;
    }
    const uint64_t nNow = m_clock.TickMs();
    if (m_logFile.IsOpen()) {
        if (nNow - m_nLogOpenedAt <= kRotateMs) return;
        m_logFile.Close();
    }
    const platform::LocalTime time = m_clock.Now();
    const std::string strDir = platform::Utf8FromUtf16(m_strDir);
    platform::MakeDirectory(VqtFolder(strDir));
    m_bLogOpenFailed = !m_logFile.OpenAppend(LogFilePath(strDir, platform::Utf8FromUtf16(m_strName), time));
    m_nLogOpenedAt = nNow;
}

void CVQTPortLogger::Close() {
    std::lock_guard lock(m_mutex);
    if (!m_bEnabled) return;
    m_logFile.Close();
    m_bEnabled = false;
}

void CVQTPortLogger::InitCapture(bool bEnabled, const std::u16string& strDir, const std::u16string& strName) {
    std::lock_guard lock(m_mutex);
    InitCaptureLocked(bEnabled, strDir, strName);
}

void CVQTPortLogger::InitCaptureLocked(bool bEnabled, const std::u16string& strDir, const std::u16string& strName) {
    m_bCaptureEnabled = bEnabled;
    m_strCaptureDir = strDir;
    m_strCaptureName = strName;
    if (!bEnabled) return;
    m_captureFile.Close();
    m_nCaptureOpenedAt = m_clock.TickMs();
    const platform::LocalTime time = m_clock.Now();
    const std::string strDir8 = platform::Utf8FromUtf16(strDir);
    platform::MakeDirectory(VqtFolder(strDir8));
    m_bCaptureOpenFailed =
        !m_captureFile.OpenReadWrite(CaptureFilePath(strDir8, platform::Utf8FromUtf16(strName), time));
}

void CVQTPortLogger::WriteCapture(const uint8_t* pData, size_t nLength) {
    if (pData == nullptr || nLength == 0) return;
    std::lock_guard lock(m_mutex);
    if (!m_captureFile.IsOpen() || m_bCaptureOpenFailed) {
        InitCaptureLocked(m_bCaptureEnabled, m_strCaptureDir, m_strCaptureName);
    }
    if (m_captureFile.IsOpen() && m_clock.TickMs() - m_nCaptureOpenedAt > kRotateMs) {
        InitCaptureLocked(m_bCaptureEnabled, m_strCaptureDir, m_strCaptureName);
    }
    if (platform::IsStdoutValid() && m_captureFile.IsOpen()) m_captureFile.Write(pData, nLength);
}

void CVQTPortLogger::CloseCapture() {
    std::lock_guard lock(m_mutex);
    m_captureFile.Close();
    m_bCaptureEnabled = false;
}

bool CVQTPortLogger::IsCaptureOpen() const {
    std::lock_guard lock(m_mutex);
    return m_captureFile.IsOpen();
}

// ------------------------------------------------------------------ CVQTLoger

CVQTLoger::CVQTLoger(platform::IClock& clock) : m_log(clock) { m_log.Initialise(false, u"", u""); }

CVQTLoger& CVQTLoger::Instance() {
    // Never destroyed: poll threads may still log while the process exits.
    static CVQTLoger* pInstance = std::make_unique<CVQTLoger>().release();
    return *pInstance;
}

void CVQTLoger::WriteLog(int nLevel, std::string_view format, std::initializer_list<CLogArg> args) {
    m_log.WriteLog(nLevel, format, args);
}

bool CVQTLoger::IsEnabled() const { return m_log.IsEnabled(); }

}  // namespace vexal
