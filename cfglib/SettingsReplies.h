// Request builders and reply decoders of the hub's settings commands. Pure
// functions of their bytes: a reply span holds exactly the bytes the hub sent
// (never the exchange's extra zero byte), and nothing is read past its end, so
// unit tests and fuzzers can call them without a hub.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::cfg {

using ReplyBytes = std::span<const uint8_t>;

// Why a reply was refused. Each command maps these onto its own log lines.
enum class EReplyError {
    None,
    BadHeader,     // every checked header byte differs (or is missing)
    TooShort,      // shorter than the bytes the command takes from it
    WrongLength,   // a length the command refuses outright (the 14-byte WLAN answer)
    NotAvailable,  // the serial reply carries "N" or "O" where the baud rate belongs
    HubStatus,     // the hub answered with a non-zero status byte
};

template <typename T>
struct SReplyResult {
    EReplyError eError = EReplyError::None;
    T value{};
    int32_t nDetail = 0;  // reply length for TooShort, status byte for HubStatus
    bool Ok() const { return eError == EReplyError::None; }
};

// One header byte the command compares with the request.
struct SHeaderByte {
    size_t nOffset;
    uint8_t nExpected;
};

// A reply fails its header check only when every checked byte differs; a byte
// beyond the reply's end counts as differing, so a truncated reply cannot pass
// on the strength of the exchange's trailing zero.
bool HeaderAccepted(ReplyBytes reply, std::initializer_list<SHeaderByte> checks);

// Bytes from nOffset up to the first NUL or the end of the reply.
std::string TextFrom(ReplyBytes reply, size_t nOffset);

// ---- Bluetooth -------------------------------------------------------------

enum class EBluetoothItem : uint8_t {
    ConnectionMode = 0x10,
    Name = 0x11,
    PinCode = 0x12,
    Encryption = 0x13,
};

inline constexpr uint8_t kCmdBluetoothInfoWrite = 0x14;
inline constexpr uint8_t kCmdBluetoothAutoRead = 0x58;
inline constexpr uint8_t kCmdBluetoothAutoWrite = 0x59;
inline constexpr size_t kBluetoothValueOffset = 5;

std::vector<uint8_t> BuildBluetoothRead(EBluetoothItem eItem);
// Connection mode and encryption: the character at byte 5.
SReplyResult<uint8_t> DecodeBluetoothChar(EBluetoothItem eItem, ReplyBytes reply);
// Name and PIN: ANSI bytes from byte 5 to the first NUL or the end.
SReplyResult<std::string> DecodeBluetoothText(EBluetoothItem eItem, ReplyBytes reply);
// 0x14 0x00 encryption mode PIN 0x0D name 0x0D; lengths are converted bytes.
std::vector<uint8_t> BuildBluetoothInfo(uint8_t nMode, std::string_view strNameAnsi, std::string_view strPinAnsi,
                                        uint8_t nEncryption);
SReplyResult<uint8_t> DecodeBluetoothAutoConnection(ReplyBytes reply);
std::vector<uint8_t> BuildOnOff(uint8_t nCommand, int32_t nOn);

// ---- LAN and WLAN ----------------------------------------------------------

inline constexpr size_t kLanBlockSize = 30;
inline constexpr size_t kWlanBlockSize = 592;
inline constexpr size_t kWlanAckSize = 20;
inline constexpr uint8_t kCmdLanRead = 0x24;
inline constexpr uint8_t kCmdLanWrite = 0x25;
inline constexpr uint8_t kCmdWlanRead = 0x20;
inline constexpr uint8_t kCmdWlanWrite = 0x21;

using LanBlock = std::array<uint8_t, kLanBlockSize>;
using WlanBlock = std::array<uint8_t, kWlanBlockSize>;
using WlanAck = std::array<uint8_t, kWlanAckSize>;

SReplyResult<LanBlock> DecodeLanRead(ReplyBytes reply);
std::vector<uint8_t> BuildLanWrite(const uint8_t* pData, size_t nLength);
// The status byte is the value even with a bad header (the hub's verdict is
// passed on); BadHeader is then reported alongside it.
SReplyResult<uint8_t> DecodeLanWrite(ReplyBytes reply);
SReplyResult<WlanBlock> DecodeWlanRead(ReplyBytes reply);
std::vector<uint8_t> BuildWlanWrite(const uint8_t* pData, size_t nLength);
SReplyResult<WlanAck> DecodeWlanWrite(ReplyBytes reply);

// ---- Serial adapter and custom devices ----------------------------------------

inline constexpr uint8_t kCmdSerialRead = 0x03;
inline constexpr uint8_t kCmdSerialWrite = 0x02;
inline constexpr uint8_t kCmdCustomList = 0x40;
inline constexpr uint8_t kCmdCustomAdd = 0x41;
inline constexpr uint8_t kCmdCustomDelete = 0x42;
inline constexpr uint8_t kCmdCustomReset = 0x43;

struct SSerialConfig {
    uint8_t nBaudRate = 0;
    uint8_t nDataBits = 0;
    uint8_t nStopBits = 0;
    uint8_t nParity = 0;
};

SReplyResult<SSerialConfig> DecodeSerialRead(uint8_t nDeviceId, ReplyBytes reply);
std::vector<uint8_t> BuildSerialWrite(uint8_t nDeviceId, const SSerialConfig& config);

// "%02x%02x&%02x%02x," for every complete four-byte entry from byte 2.
SReplyResult<std::string> DecodeCustomList(uint8_t nType, ReplyBytes reply);
// Two bytes from the first four hexadecimal digits of the ANSI text; missing
// digits count 0, and so does a character that is no hexadecimal digit.
std::array<uint8_t, 2> HexIdBytes(std::string_view strAnsi);
std::vector<uint8_t> BuildCustomChange(uint8_t nCommand, uint8_t nType, std::string_view strVendorAnsi,
                                       std::string_view strProductAnsi);
// Add, delete and reset: the hub's status byte at byte 2.
SReplyResult<uint8_t> DecodeCustomChange(uint8_t nCommand, uint8_t nType, ReplyBytes reply);

// ---- Services and interface usage --------------------------------------------

inline constexpr uint8_t kCmdTelnetRead = 0xD0;
inline constexpr uint8_t kCmdTelnetWrite = 0xD1;
inline constexpr uint8_t kCmdSnmpRead = 0xD2;
inline constexpr uint8_t kCmdSnmpWrite = 0xD3;
inline constexpr uint8_t kCmdSnmpRoRead = 0xD4;
inline constexpr uint8_t kCmdSnmpRoWrite = 0xD5;
inline constexpr uint8_t kCmdSnmpRwRead = 0xD6;
inline constexpr uint8_t kCmdSnmpRwWrite = 0xD7;
inline constexpr uint8_t kCmdUsageRead = 0x0E;
inline constexpr uint8_t kCmdUsageWrite = 0x0F;

// Telnet and SNMP availability: byte 0 echoes the command, the value is byte 1.
SReplyResult<uint8_t> DecodeServiceByte(uint8_t nCommand, ReplyBytes reply);
// Communities: ANSI bytes from byte 1 to the first NUL or the end.
SReplyResult<std::string> DecodeServiceText(uint8_t nCommand, ReplyBytes reply);
std::vector<uint8_t> BuildServiceText(uint8_t nCommand, std::string_view strAnsi);

// Usage values at the interface: 0 off, 1 on, 2 not reported (or left alone).
struct SInterfaceUsage {
    int32_t nUsb = 1;
    int32_t nBluetooth = 2;
    int32_t nLan = 2;
    int32_t nWlan = 2;
};

SReplyResult<SInterfaceUsage> DecodeInterfaceUsageRead(ReplyBytes reply);
// 0x0F and a (type, value) pair for each of Bluetooth, LAN, WLAN whose value is 0 or 1.
std::vector<uint8_t> BuildInterfaceUsageWrite(int32_t nBluetooth, int32_t nLan, int32_t nWlan);
// Ok, or HubStatus with the hub's error byte in nDetail.
SReplyResult<uint8_t> DecodeInterfaceUsageWrite(ReplyBytes reply);

}  // namespace vexal::cfg
