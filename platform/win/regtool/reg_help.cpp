#include "reg_help.h"

#include <string>

namespace tevo::regtool {

namespace {

constexpr const char* kRootKeys =
    "  KeyName  ROOTKEY\\SubKey\n"
    "           ROOTKEY  [ HKLM | HKCU | HKCR ] (or HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,\n"
    "                    HKEY_CLASSES_ROOT)\n"
    "           SubKey   The full name of a registry key under the selected ROOTKEY.\n";

}  // namespace

const char* GeneralHelp() {
    return "\n"
           "REG Operation [Parameter List]\n"
           "\n"
           "  Operation  [ QUERY   | ADD    | DELETE  |\n"
           "               EXPORT  | IMPORT ]\n"
           "\n"
           "Return Code: (Except for REG COMPARE)\n"
           "\n"
           "  0 - Successful\n"
           "  1 - Failed\n"
           "\n"
           "For help on a specific operation type:\n"
           "\n"
           "  REG Operation /?\n"
           "\n"
           "Examples:\n"
           "\n"
           "  REG QUERY /?\n"
           "  REG ADD /?\n"
           "  REG DELETE /?\n"
           "  REG EXPORT /?\n"
           "  REG IMPORT /?\n";
}

const char* OperationHelp(Operation operation) {
    static const std::string kQuery =
        std::string() +
        "\n"
        "REG QUERY KeyName [/v [ValueName] | /ve] [/s] [/se Separator]\n"
        "\n" +
        kRootKeys +
        "\n"
        "  /v       Queries for a specific registry key value.\n"
        "  /ve      Queries for the default value or empty value name "
        "(Default).\n"
        "  /s       Queries all subkeys and values recursively.\n"
        "  /se      Specifies the separator (one character) shown\n"
        "           between the strings of a REG_MULTI_SZ; the default "
        "is \"\\0\".\n"
        "\n"
        "Examples:\n"
        "\n"
        "  REG QUERY HKLM\\Software\\Example /v Version\n"
        "    Displays the value of the registry value Version.\n";
    static const std::string kAdd =
        std::string() +
        "\n"
        "REG ADD KeyName [/v ValueName | /ve] [/t Type] [/s Separator] [/d Data] [/f]\n"
        "\n" +
        kRootKeys +
        "\n"
        "  /v       The value name, under the selected key, to add.\n"
        "  /ve      Adds an empty value name (Default) for the key.\n"
        "  /t       RegKey data types\n"
        "           [ REG_SZ    | REG_MULTI_SZ | REG_EXPAND_SZ |\n"
        "             REG_DWORD | REG_QWORD    | REG_BINARY    | REG_NONE ]\n"
        "           If omitted, REG_SZ is assumed.\n"
        "  /s       Specifies one character that you use as the separator in your data\n"
        "           string for REG_MULTI_SZ. If omitted, use \"\\0\" as the separator.\n"
        "  /d       The data to assign to the registry ValueName being added.\n"
        "           REG_DWORD and REG_QWORD take a decimal or 0x-prefixed hexadecimal number,\n"
        "           REG_BINARY and REG_NONE hexadecimal digits, two per byte.\n"
        "  /f       Force overwriting the existing registry entry without prompt.\n"
        "\n"
        "Examples:\n"
        "\n"
        "  REG ADD HKLM\\Software\\Example /v Count /t REG_DWORD /d 0x1f\n"
        "    Adds the value Count of type REG_DWORD with the data 31.\n"
        "  REG ADD HKLM\\Software\\Example /v List /t REG_MULTI_SZ /d one\\0two\n"
        "    Adds the value List of type REG_MULTI_SZ holding the strings one and two.\n";
    static const std::string kDelete =
        std::string() +
        "\n"
        "REG DELETE KeyName [/v ValueName | /ve | /va] [/f]\n"
        "\n" +
        kRootKeys +
        "\n"
        "  ValueName  The value name, under the selected Key, to delete.\n"
        "             When omitted, all subkeys and values under the Key are deleted.\n"
        "  /ve        Delete the value of empty value name (Default).\n"
        "  /va        Delete all values under this key.\n"
        "  /f         Forces the deletion without prompt.\n"
        "\n"
        "Examples:\n"
        "\n"
        "  REG DELETE HKLM\\Software\\Example /v Count\n"
        "    Deletes the registry value Count under Example.\n";
    static const std::string kExport =
        std::string() +
        "\n"
        "REG EXPORT KeyName FileName [/y]\n"
        "\n" +
        kRootKeys +
        "\n"
        "  FileName  The name of the disk file to export.\n"
        "  /y        Force overwriting the existing file without prompt.\n"
        "\n"
        "The file is REGEDIT4 text in UTF-8.\n"
        "\n"
        "Examples:\n"
        "\n"
        "  REG EXPORT HKLM\\Software\\Example Example.reg\n"
        "    Exports all subkeys and values of the key Example\n"
        "    to the file Example.reg.\n";
    static const std::string kImport =
        "\n"
        "REG IMPORT FileName\n"
        "\n"
        "  FileName  The name of the disk file to import (REGEDIT4 "
        "text).\n"
        "\n"
        "The file must be a regular file of at most 64 MiB.\n"
        "\n"
        "Examples:\n"
        "\n"
        "  REG IMPORT Example.reg\n"
        "    Imports registry entries from the file Example.reg.\n";
    switch (operation) {
        case Operation::Query:
            return kQuery.c_str();
        case Operation::Add:
            return kAdd.c_str();
        case Operation::Delete:
            return kDelete.c_str();
        case Operation::Export:
            return kExport.c_str();
        case Operation::Import:
            return kImport.c_str();
    }
    return GeneralHelp();
}

}  // namespace tevo::regtool
