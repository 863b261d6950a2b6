/*
 * quenta.h - the entry points of the PCIe XDMA driver library
 * (libquenta.so) that zorviutil binds at run time. The library belongs to
 * the board's driver package; header version 0.4.0.
 */
#ifndef QUENTA_H
#define QUENTA_H

#include <stdint.h>
#include <wchar.h>

#define QUENTA_H_VERSION_MAJOR 0
#define QUENTA_H_VERSION_MINOR 4
#define QUENTA_H_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t QUENTA_STATUS; /* 0 = success */
typedef uint32_t QUENTA_HANDLE;

/* Opens device `index`; the two reserved words are 0. */
typedef QUENTA_STATUS (*QUENTA_OpenBC_Fn)(uint32_t reserved1, uint32_t index, uint32_t reserved2, QUENTA_HANDLE* handle);
/* One uC exchange, as ZORVI_Command. */
typedef QUENTA_STATUS (*QUENTA_CommandUC_Fn)(QUENTA_HANDLE handle, uint32_t flags, uint32_t timeoutUs,
                                             uint32_t requestLength, const uint8_t* request,
                                             uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength);
typedef QUENTA_STATUS (*QUENTA_GetUCStatus_Fn)(QUENTA_HANDLE handle, uint32_t* status);
typedef const wchar_t* (*QUENTA_GetStatusStringW_Fn)(QUENTA_STATUS status, uint32_t selector);
typedef QUENTA_STATUS (*QUENTA_CloseBC_Fn)(QUENTA_HANDLE handle);

#ifdef __cplusplus
}
#endif

#endif /* QUENTA_H */
