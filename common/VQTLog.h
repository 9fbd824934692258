// The diagnostic log shared by both libraries: hourly UTF-16LE files in a
// "VQTLog" folder, a tiny argument formatter, and the port library's capture
// file of written bytes.
#pragma once
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "platform/Clock.h"
#include "platform/FileSys.h"

namespace vexal {

inline constexpr int kLogInfo = 0;
inline constexpr int kLogError = 10;
inline constexpr int kLogForced = 100;

// One argument of a log line. %d and %x take a 32-bit value, %s a text, %f a
// double; a wrong kind formats as nothing rather than reading garbage.
class CLogArg {
public:
    CLogArg(int32_t n) : m_value(n) {}
    CLogArg(uint32_t n) : m_value(static_cast<int32_t>(n)) {}
    CLogArg(int64_t n) : m_value(static_cast<int32_t>(n)) {}
    CLogArg(uint64_t n) : m_value(static_cast<int32_t>(n)) {}
    CLogArg(unsigned char n) : m_value(static_cast<int32_t>(n)) {}
    CLogArg(double d) : m_value(d) {}
    CLogArg(std::u16string_view s) : m_value(std::u16string(s)) {}
    CLogArg(const std::u16string& s) : m_value(s) {}
    CLogArg(const char16_t* s) : m_value(std::u16string(s ? s : u"")) {}

    const std::variant<int32_t, double, std::u16string>& Value() const { return m_value; }

private:
    std::variant<int32_t, double, std::u16string> m_value;
};

// Formats a message: every character but '%' is copied; '%' consumes the next
// character: d (signed decimal), x (lower-case hex), s (text), f ("%.5g");
// any other character outputs nothing and consumes no argument.
std::u16string FormatLogMessage(std::string_view format, std::span<const CLogArg> args);

// VEXAL_LOG=1: the development switch that turns ordinary lines on.
bool IsDevelopmentLogOn();

enum class ELogLayout {
    Registry,  // "- (hh:mm:ss.mmm) <tag> <msg>" with an always-empty tag
    Port,      // "- (hh:mm:ss.mmm) <msg>"
};

// A whole line with its CR LF, for the layout and level (any level but 0 is an error line).
std::u16string FormatLogLine(ELogLayout layout, int nLevel, const platform::LocalTime& time,
                             std::u16string_view message);

// "<dir>/VQTLog/<name>_Mon_MMDD.hhmm.log" and "<dir>/VQTLog/<name>_MMDD.hhmm.bin".
// An empty directory means VEXAL_LOG_DIR when set, else the platform's default
// (the working directory on Linux, the root of the current drive on Windows).
std::string LogFilePath(const std::string& strDir, const std::string& strName, const platform::LocalTime& time);
std::string CaptureFilePath(const std::string& strDir, const std::string& strName, const platform::LocalTime& time);

// The log object of the port library: one per registry and one per port.
class CVQTPortLogger {
public:
    explicit CVQTPortLogger(platform::IClock& clock = platform::SystemClock());
    ~CVQTPortLogger();
    CVQTPortLogger(const CVQTPortLogger&) = delete;
    CVQTPortLogger& operator=(const CVQTPortLogger&) = delete;

    // Stores the values; opens the log file now when enabled. VEXAL_LOG=1
    // enables ordinary lines (a development switch).
    void Initialise(bool bEnabled, const std::u16string& strDir, const std::u16string& strName);
    bool IsEnabled() const;

    // Port layout.
    void WriteLog(int nLevel, std::string_view format, std::initializer_list<CLogArg> args = {});
    // Registry layout (empty tag).
    void WriteRegistryLog(int nLevel, std::string_view format, std::initializer_list<CLogArg> args = {});
    // Port layout with an argument list built at run time.
    void WriteLogArgs(int nLevel, std::string_view format, std::span<const CLogArg> args);
    // Closes the log file (when enabled) and clears the enabled flag.
    void Close();

    void InitCapture(bool bEnabled, const std::u16string& strDir, const std::u16string& strName);
    void WriteCapture(const uint8_t* pData, size_t nLength);
    void CloseCapture();
    bool IsCaptureOpen() const;

private:
    void Write(ELogLayout layout, int nLevel, std::string_view format, std::span<const CLogArg> args);
    void OpenOrRotateLocked();
    void InitCaptureLocked(bool bEnabled, const std::u16string& strDir, const std::u16string& strName);

    platform::IClock& m_clock;
    mutable std::mutex m_mutex;  // serialises open, rotate, write and close
    platform::CFile m_logFile;
    bool m_bLogOpenFailed = false;
    uint64_t m_nLogOpenedAt = 0;
    std::u16string m_strDir;
    std::u16string m_strName;
    std::atomic<bool> m_bEnabled{false};  // read without the lock on every line
    platform::CFile m_captureFile;
    bool m_bCaptureOpenFailed = false;
    uint64_t m_nCaptureOpenedAt = 0;
    std::u16string m_strCaptureDir;
    std::u16string m_strCaptureName;
    bool m_bCaptureEnabled = false;
};

// The configuration library's process-wide log: port layout, always disabled
// unless VEXAL_LOG=1, empty directory and name.
class CVQTLoger {
public:
    static CVQTLoger& Instance();  // created on first use, never destroyed
    void WriteLog(int nLevel, std::string_view format, std::initializer_list<CLogArg> args = {});
    bool IsEnabled() const;

    explicit CVQTLoger(platform::IClock& clock = platform::SystemClock());

private:
    CVQTPortLogger m_log;
};

}  // namespace vexal
