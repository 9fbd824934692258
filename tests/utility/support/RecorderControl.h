// Test-side access to the recording stand-in library (CfgRecorder.cpp): the
// library the utility loaded is opened once more by its path (same handle),
// and its recorder* functions are called directly.
//
//   CRecorderControl rec;                       // resets the record
//   dlg = MakeMainWindow(CRecorderControl::LibraryName());
//   rec.SetResult("getResult", 1006);
//   ... click Connect ...
//   EXPECT_EQ(rec.Count("selectInterface"), 1);
//   EXPECT_EQ(rec.LastArgs("selectInterface"), "2,10.0.0.5:9100");
//   EXPECT_EQ(rec.MainThreadCalls(), 0);        // every call ran on the worker
#pragma once
#include <cstdint>
#include <string>

class CRecorderControl {
public:
    // Loads the stand-in and resets its record (the calling thread becomes
    // "the main thread" for MainThreadCalls).
    explicit CRecorderControl(bool bMissingEntry = false);
    ~CRecorderControl();
    CRecorderControl(const CRecorderControl&) = delete;
    CRecorderControl& operator=(const CRecorderControl&) = delete;

    // The path CCfgLibrary::Load takes for the stand-in.
    static std::string LibraryName(bool bMissingEntry = false);

    void Reset();
    void SetResult(const std::string& strName, int32_t nValue);
    void SetDelay(const std::string& strName, int32_t nMs);
    void SetText(const std::string& strName, const std::u16string& text);
    int32_t Count(const std::string& strName) const;
    std::string LastArgs(const std::string& strName) const;
    std::string Log() const;  // "selectInterface,selectCommandMode,..."
    int32_t MainThreadCalls() const;

private:
    void* m_pHandle = nullptr;
    template <class F>
    F Fn(const char* pszName) const;
};
