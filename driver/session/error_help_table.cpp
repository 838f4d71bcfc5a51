#include "session/error_help_table.h"

namespace tevo::driver {

namespace {
constexpr HRESULT H(unsigned value) {
    return static_cast<HRESULT>(value);
}
}  // namespace

const ErrorHelpRow ErrorHelpTable[] = {
    {1, H(0x00000000), 0},  {2, H(0x80047000), 0},  {3, H(0x80047001), 0},  {4, H(0x80047002), 0},
    {5, H(0x80047003), 0},  {6, H(0x80047004), 0},  {7, H(0x8004700B), 0},  {8, H(0x80047010), 0},
    {9, H(0x80047011), 0},  {10, H(0x80047012), 0}, {11, H(0x80047013), 0}, {12, H(0x8004701D), 0},
    {13, H(0x80047020), 0}, {14, H(0x80047023), 0}, {15, H(0x80047044), 0}, {16, H(0x80047049), 0},
    {17, H(0x8004704A), 0}, {18, H(0x8004704B), 0}, {19, H(0x8004704C), 0}, {20, H(0x80047056), 0},
    {21, H(0x80047057), 0}, {22, H(0x80047058), 0}, {23, H(0x80047059), 0}, {24, H(0x8004705B), 0},
    {25, H(0x8004705C), 0}, {26, H(0x8004705D), 0}, {27, H(0x8004705E), 0}, {28, H(0x8004705F), 0},
    {29, H(0x80047060), 0}, {30, H(0x80047061), 0}, {31, H(0x80047062), 0}, {32, H(0x80047063), 0},
    {33, H(0x80047064), 0}, {34, H(0x80047065), 0}, {35, H(0x80047066), 0}, {36, H(0x80047067), 0},
    {37, H(0x00047065), 0}, {38, H(0x00047066), 0}, {39, H(0x00047067), 0}, {40, H(0x00047068), 0},
    {41, H(0x00047069), 0}, {42, H(0x00042001), 0}, {43, H(0x00042002), 0}, {44, H(0x80041001), 0},
    {45, H(0x80042001), 0}, {46, H(0x80042002), 0}, {47, H(0x80042003), 0}, {48, H(0x80040210), 0},
    {49, H(0x80040220), 0}, {50, H(0x80040230), 0}, {51, H(0x80040240), 0}, {52, H(0x80040250), 0},
    {53, H(0x80040260), 0}, {0, H(0), 0},
};

DWORD MapDriverCode(LONG driver_code) {
    if (driver_code >= 30001 && driver_code <= 30031) {
        return static_cast<DWORD>(driver_code - 30000);
    }
    if (driver_code >= 30032 && driver_code <= 30036) {
        return static_cast<DWORD>(driver_code - 30032 + 37);
    }
    if (driver_code >= 30037 && driver_code <= 30041) {
        return static_cast<DWORD>(driver_code - 30037 + 32);
    }
    return static_cast<DWORD>(driver_code);
}

const ErrorHelpRow* FindErrorHelpRow(DWORD message_id) {
    for (const ErrorHelpRow* row = ErrorHelpTable; row->message_id != 0; ++row) {
        if (row->message_id == message_id) {
            return row;
        }
    }
    return nullptr;
}

}  // namespace tevo::driver
