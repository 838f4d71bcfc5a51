/* The VISA library: standard VISA types, status codes, attributes and operations, for C
 * and C++ clients.
 *
 * Resources reached over TCP/IP: TCPIP[board]::host::port::SOCKET (raw SCPI) and TCPIP
 * INSTR resources by VXI-11 (TCPIP[board]::host[,port][::inst0][::INSTR]: without ",port"
 * the portmapper on port 111 gives the core channel's port; with it the core channel is
 * reached on that port directly) or HiSLIP (TCPIP[board]::host::hislipN[,port]::INSTR).
 * INSTR sessions keep the standard defaults (VI_ATTR_TERMCHAR_EN and
 * VI_ATTR_SUPPRESS_END_EN VI_FALSE; writes are sent as given, with END on the last byte).
 * Other resource strings (GPIB, ASRL, USB) are parsed by viParseRsrc; viOpen reports
 * VI_ERROR_RSRC_NFOUND for them.
 *
 * Behaviour of SOCKET sessions that differs from some other VISA libraries:
 * - VI_ATTR_TERMCHAR_EN is VI_TRUE by default and every viWrite (while VI_ATTR_SEND_END_EN
 *   is VI_TRUE) appends the termination character to the caller's bytes. Callers never add
 *   their own line feed.
 * - A reply that starts with an IEEE 488.2 definite-length block header ("#" and a digit 1
 *   to 9) is read by the block's declared length: a 0x0A byte inside the data never ends
 *   the read. A line feed right after the block is consumed; the read then reports
 *   VI_SUCCESS_TERM_CHAR with the line feed as the last byte, otherwise VI_SUCCESS.
 * - A read never ends on a pause in the data (VI_ATTR_SUPPRESS_END_EN is always VI_TRUE).
 * - viClear drops every byte still to come from the device by closing the connection and
 *   opening a new one to the same address. A reply that arrives late can never reach a
 *   later read. The cost is one TCP connection set-up, and the instrument sees its client
 *   reconnect.
 * - The open time-out of viOpen bounds the TCP connection set-up. 0 (VI_TMO_IMMEDIATE, the
 *   customary VI_NULL) gives the connection the default 2000 ms; VI_TMO_INFINITE waits as
 *   long as the operating system does.
 * - The locking access modes (VI_EXCLUSIVE_LOCK, VI_SHARED_LOCK) are not supported and give
 *   VI_ERROR_NSUP_OPER.
 *
 * Threads: every session may be used from several threads. One operation runs at a time per
 * session, and a query (a message containing "?" outside quoted strings and block data, or
 * a message whose last part has not been written yet) keeps the session for the thread that
 * wrote it until that thread has read the complete reply, or until the session's time-out
 * has passed without it reading. Another thread's query waits meanwhile, within its own
 * time-out.
 *
 * Attribute values are returned by viGetAttribute in the attribute's own type: ViUInt32
 * for VI_ATTR_TMO_VALUE, ViUInt8 for VI_ATTR_TERMCHAR, ViBoolean for the switches,
 * ViUInt16 for VI_ATTR_IO_PROT, VI_ATTR_INTF_TYPE, VI_ATTR_INTF_NUM and VI_ATTR_TCPIP_PORT,
 * and a string of at most 256 ViChar (with its terminating zero) for names and addresses.
 */
#ifndef TEVO_VISA_H
#define TEVO_VISA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types ---------------------------------------------------------------------------- */

typedef uint64_t ViUInt64;
typedef int64_t ViInt64;
typedef uint32_t ViUInt32;
typedef int32_t ViInt32;
typedef uint16_t ViUInt16;
typedef int16_t ViInt16;
typedef uint8_t ViUInt8;
typedef int8_t ViInt8;
typedef char ViChar;
typedef unsigned char ViByte;
typedef void* ViAddr;
typedef ViUInt16 ViBoolean;
typedef ViInt32 ViStatus;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViUInt32 ViAttr;
typedef ViUInt32 ViAccessMode;
typedef ViUInt32 ViEventType;

/* A value passed to viSetAttribute: wide enough for a pointer on this platform. */
#if UINTPTR_MAX > 0xFFFFFFFFu
typedef ViUInt64 ViAttrState;
#else
typedef ViUInt32 ViAttrState;
#endif

typedef ViUInt64* ViPUInt64;
typedef ViUInt32* ViPUInt32;
typedef ViInt32* ViPInt32;
typedef ViUInt16* ViPUInt16;
typedef ViInt16* ViPInt16;
typedef ViUInt8* ViPUInt8;
typedef ViBoolean* ViPBoolean;
typedef ViSession* ViPSession;
typedef ViStatus* ViPStatus;
typedef ViByte* ViBuf;
typedef ViByte* ViPBuf;
typedef const ViByte* ViConstBuf;
typedef ViChar* ViString;
typedef ViChar* ViPString;
typedef const ViChar* ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViString ViKeyId;
typedef ViConstString ViConstKeyId;

/* ---- Values --------------------------------------------------------------------------- */

#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0

/* Size of the string buffers this library fills (resource names, addresses, descriptions). */
#define VI_FIND_BUFLEN 256

/* Access modes of viOpen. */
#define VI_NO_LOCK 0u
#define VI_EXCLUSIVE_LOCK 1u
#define VI_SHARED_LOCK 2u
#define VI_LOAD_CONFIG 4u

/* Time-outs in milliseconds. */
#define VI_TMO_IMMEDIATE 0u
#define VI_TMO_INFINITE 0xFFFFFFFFu

/* Masks of viFlush. */
#define VI_READ_BUF 1u
#define VI_WRITE_BUF 2u
#define VI_READ_BUF_DISCARD 4u
#define VI_WRITE_BUF_DISCARD 8u
#define VI_IO_IN_BUF 16u
#define VI_IO_OUT_BUF 32u
#define VI_IO_IN_BUF_DISCARD 64u
#define VI_IO_OUT_BUF_DISCARD 128u

/* VI_ATTR_IO_PROT values. VI_PROT_4882_STRS makes viClear send "*CLS" on SOCKET sessions. */
#define VI_PROT_NORMAL 1u
#define VI_PROT_4882_STRS 4u

/* Interface types (VI_ATTR_INTF_TYPE, viParseRsrc). */
#define VI_INTF_GPIB 1u
#define VI_INTF_VXI 2u
#define VI_INTF_GPIB_VXI 3u
#define VI_INTF_ASRL 4u
#define VI_INTF_PXI 5u
#define VI_INTF_TCPIP 6u
#define VI_INTF_USB 7u

/* ---- Status codes: completions and warnings are >= 0, errors < 0 -------------------- */

#define VI_SUCCESS ((ViStatus)0)
#define VI_SUCCESS_QUEUE_EMPTY ((ViStatus)0x3FFF0004)
#define VI_SUCCESS_TERM_CHAR ((ViStatus)0x3FFF0005)
#define VI_SUCCESS_MAX_CNT ((ViStatus)0x3FFF0006)
#define VI_WARN_NSUP_ATTR_STATE ((ViStatus)0x3FFF0084)
#define VI_WARN_UNKNOWN_STATUS ((ViStatus)0x3FFF0085)

#define VI_ERROR_SYSTEM_ERROR ((ViStatus)(int32_t)0xBFFF0000u)
#define VI_ERROR_INV_OBJECT ((ViStatus)(int32_t)0xBFFF000Eu)
#define VI_ERROR_INV_SESSION VI_ERROR_INV_OBJECT
#define VI_ERROR_RSRC_LOCKED ((ViStatus)(int32_t)0xBFFF000Fu)
#define VI_ERROR_RSRC_NFOUND ((ViStatus)(int32_t)0xBFFF0011u)
#define VI_ERROR_INV_RSRC_NAME ((ViStatus)(int32_t)0xBFFF0012u)
#define VI_ERROR_INV_ACC_MODE ((ViStatus)(int32_t)0xBFFF0013u)
#define VI_ERROR_TMO ((ViStatus)(int32_t)0xBFFF0015u)
#define VI_ERROR_CLOSING_FAILED ((ViStatus)(int32_t)0xBFFF0016u)
#define VI_ERROR_NSUP_ATTR ((ViStatus)(int32_t)0xBFFF001Du)
#define VI_ERROR_NSUP_ATTR_STATE ((ViStatus)(int32_t)0xBFFF001Eu)
#define VI_ERROR_ATTR_READONLY ((ViStatus)(int32_t)0xBFFF001Fu)
#define VI_ERROR_INV_LOCK_TYPE ((ViStatus)(int32_t)0xBFFF0020u)
#define VI_ERROR_ABORT ((ViStatus)(int32_t)0xBFFF0030u)
#define VI_ERROR_INV_SETUP ((ViStatus)(int32_t)0xBFFF003Au)
#define VI_ERROR_ALLOC ((ViStatus)(int32_t)0xBFFF003Cu)
#define VI_ERROR_IO ((ViStatus)(int32_t)0xBFFF003Eu)
#define VI_ERROR_INV_MASK ((ViStatus)(int32_t)0xBFFF0065u)
#define VI_ERROR_NSUP_OPER ((ViStatus)(int32_t)0xBFFF0067u)
#define VI_ERROR_RSRC_BUSY ((ViStatus)(int32_t)0xBFFF0072u)
#define VI_ERROR_INV_PARAMETER ((ViStatus)(int32_t)0xBFFF0078u)
#define VI_ERROR_INV_SIZE ((ViStatus)(int32_t)0xBFFF007Bu)
#define VI_ERROR_NIMPL_OPER ((ViStatus)(int32_t)0xBFFF0081u)
#define VI_ERROR_SESN_NLOCKED ((ViStatus)(int32_t)0xBFFF009Cu)
#define VI_ERROR_LIBRARY_NFOUND ((ViStatus)(int32_t)0xBFFF009Eu)
#define VI_ERROR_CONN_LOST ((ViStatus)(int32_t)0xBFFF00A6u)
#define VI_ERROR_MACHINE_NAVAIL ((ViStatus)(int32_t)0xBFFF00A7u)

/* ---- Attributes ----------------------------------------------------------------------- */

#define VI_ATTR_RSRC_CLASS 0xBFFF0001u        /* string, read-only ("SOCKET") */
#define VI_ATTR_RSRC_NAME 0xBFFF0002u         /* string, read-only */
#define VI_ATTR_SEND_END_EN 0x3FFF0016u       /* ViBoolean, default VI_TRUE */
#define VI_ATTR_TERMCHAR 0x3FFF0018u          /* ViUInt8, default 0x0A */
#define VI_ATTR_TMO_VALUE 0x3FFF001Au         /* ViUInt32 ms, default 2000 */
#define VI_ATTR_IO_PROT 0x3FFF001Cu           /* ViUInt16, default VI_PROT_NORMAL */
#define VI_ATTR_SUPPRESS_END_EN 0x3FFF0036u   /* ViBoolean, VI_TRUE on SOCKET */
#define VI_ATTR_TERMCHAR_EN 0x3FFF0038u       /* ViBoolean, VI_TRUE on SOCKET */
#define VI_ATTR_INTF_TYPE 0x3FFF0171u         /* ViUInt16, read-only */
#define VI_ATTR_INTF_NUM 0x3FFF0176u          /* ViUInt16, read-only (board number) */
#define VI_ATTR_TCPIP_ADDR 0xBFFF0195u        /* string, read-only: numeric peer address */
#define VI_ATTR_TCPIP_HOSTNAME 0xBFFF0196u    /* string, read-only: host as written */
#define VI_ATTR_TCPIP_PORT 0x3FFF0197u        /* ViUInt16, read-only */
#define VI_ATTR_TCPIP_DEVICE_NAME 0xBFFF0199u /* string, VXI-11 and HiSLIP only */
#define VI_ATTR_TCPIP_NODELAY 0x3FFF019Au     /* ViBoolean, default VI_TRUE */
#define VI_ATTR_TCPIP_KEEPALIVE 0x3FFF019Bu   /* ViBoolean, default VI_FALSE */
#define VI_ATTR_TCPIP_IS_HISLIP 0x3FFF0303u   /* ViBoolean, read-only */

/* ---- Operations ----------------------------------------------------------------------- */

/* Opens a new resource-manager session. */
ViStatus viOpenDefaultRM(ViPSession vi);

/* Opens a session to a resource through a resource-manager session. *vi is VI_NULL on
 * failure. */
ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                ViPSession vi);

/* Closes a session; closing a resource-manager session closes every session it opened. */
ViStatus viClose(ViObject vi);

/* Reads at most cnt bytes. retCnt may be VI_NULL. */
ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);

/* Writes cnt bytes as one message. retCnt (may be VI_NULL) counts the caller's bytes sent. */
ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);

/* Device clear: discards every pending input byte and any half-read reply. */
ViStatus viClear(ViSession vi);

/* Discards buffered input (read masks); write masks have nothing to flush. */
ViStatus viFlush(ViSession vi, ViUInt16 mask);

/* Reads the device's IEEE 488.2 status byte through the protocol's own service (VXI-11
 * device_readstb, HiSLIP AsyncStatusQuery). VI_ERROR_NSUP_OPER on SOCKET resources, which
 * have none. */
ViStatus viReadSTB(ViSession vi, ViPUInt16 status);

/* Locks the device among its clients where the protocol has locks (HiSLIP), waiting up to
 * timeout ms: VI_EXCLUSIVE_LOCK, or VI_SHARED_LOCK with requestedKey (VI_NULL: a new key)
 * that is copied to accessKey (VI_FIND_BUFLEN ViChar, may be VI_NULL). Locks are not
 * counted: one viUnlock releases. VI_ERROR_TMO when not granted in time;
 * VI_ERROR_NSUP_OPER on resources without locks (SOCKET). */
ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout, ViConstKeyId requestedKey,
                ViKeyId accessKey);
/* Releases the lock; VI_ERROR_SESN_NLOCKED when the session holds none. */
ViStatus viUnlock(ViSession vi);

ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue);
ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue);

/* Fills desc (VI_FIND_BUFLEN ViChar) with the text of a status code. vi may be VI_NULL; a
 * session adds what it knows about its own last failure. */
ViStatus viStatusDesc(ViObject vi, ViStatus status, ViChar desc[]);

/* Parses a resource string without opening it. Output pointers may be VI_NULL. */
ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType, ViPUInt16 intfNum);
/* As viParseRsrc, and also gives the resource class ("INSTR", "SOCKET", ...), the expanded
 * canonical resource string and the alias (always empty: this library has no aliases).
 * Each string buffer holds VI_FIND_BUFLEN ViChar and may be VI_NULL. */
ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                       ViPUInt16 intfNum, ViChar rsrcClass[], ViChar expandedUnaliasedName[],
                       ViChar aliasIfExists[]);

#ifdef __cplusplus
}
#endif

#endif /* TEVO_VISA_H */
