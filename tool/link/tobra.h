/*
 * tobra.h - the entry points of the PCIe bridge driver library (libtobra.so)
 * that zorviutil binds at run time. The library belongs to the board's
 * driver package; header version 2.1.0.
 */
#ifndef TOBRA_H
#define TOBRA_H

#include <stdint.h>
#include <wchar.h>

#define TOBRA_H_VERSION_MAJOR 2
#define TOBRA_H_VERSION_MINOR 1
#define TOBRA_H_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t TOBRA_STATUS; /* 0 = success */
typedef uint32_t TOBRA_HANDLE;

/* Opens card `index`; the two reserved words are 0. */
typedef TOBRA_STATUS (*TOBRA_Open_Fn)(uint32_t index, uint32_t reserved1, uint32_t reserved2, TOBRA_HANDLE* handle);
/* words[0] = the card's serial number, words[1] = its card type code. */
typedef TOBRA_STATUS (*TOBRA_GetUniqueId_Fn)(TOBRA_HANDLE handle, uint32_t words[2]);
/* One uC exchange, as ZORVI_Command. */
typedef TOBRA_STATUS (*TOBRA_CommandZORVI_Fn)(TOBRA_HANDLE handle, uint32_t flags, uint32_t timeoutUs,
                                              uint32_t requestLength, const uint8_t* request,
                                              uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength);
typedef TOBRA_STATUS (*TOBRA_GetZORVIStatus_Fn)(TOBRA_HANDLE handle, uint32_t* status);
typedef const wchar_t* (*TOBRA_GetStatusStringW_Fn)(TOBRA_STATUS status, uint32_t selector);
typedef TOBRA_STATUS (*TOBRA_Close_Fn)(TOBRA_HANDLE handle);

#ifdef __cplusplus
}
#endif

#endif /* TOBRA_H */
