/*
 * zorvi.h - public interface of zorviapi, the serial link library of the
 * ZORVI board-management microcontroller.
 *
 * The library carries uC messages over a serial port (the processing
 * system's UART or a USB virtual COM port): it opens the port, sets its
 * baud rate, and performs one framed request/reply exchange per call with a
 * time-out. It knows nothing of individual commands and prints nothing;
 * every call reports a ZORVI_STATUS.
 *
 * Calling order: open -> optionally set the baud rate -> commands -> close.
 * Different threads may use different handles at the same time; two threads
 * must not use one handle at once.
 *
 * Header version 1.0.1.
 */
#ifndef ZORVI_H
#define ZORVI_H

#include <stdint.h>
#include <wchar.h>

#define ZORVI_H_VERSION_MAJOR 1
#define ZORVI_H_VERSION_MINOR 0
#define ZORVI_H_VERSION_PATCH 1

#if defined(_WIN32)
#define ZORVI_CALL __stdcall
#ifdef ZORVI_BUILDING
#define ZORVI_EXPORT __declspec(dllexport)
#else
#define ZORVI_EXPORT __declspec(dllimport)
#endif
#else
#define ZORVI_CALL
#define ZORVI_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** Status of every call. */
typedef uint32_t ZORVI_STATUS;

/** Opaque port handle, owned by the caller from open to close. */
typedef uint32_t ZORVI_HANDLE;

#define ZORVI_SUCCESS            0u   /* No error */
#define ZORVI_INTERNAL_ERROR     512u /* An error in the API logic was detected */
#define ZORVI_UNEXPECTED_ERROR   513u /* An unexpected error caused the operation to fail */
#define ZORVI_BAD_DRIVER         514u /* The driver may not be correctly installed */
#define ZORVI_NO_MEMORY          515u /* Couldn't allocate memory required to complete operation */
#define ZORVI_ACCESS_DENIED      516u /* The calling process does not have permission */
#define ZORVI_DEVICE_NOT_FOUND   517u /* Failed to open the device with the specified index */
#define ZORVI_HARDWARE_ERROR     518u /* An error in the hardware was detected */
#define ZORVI_INVALID_BUFFER     519u /* The supplied buffer was invalid */
#define ZORVI_INVALID_FLAG       520u /* A flag was invalid or not recognized */
#define ZORVI_INVALID_HANDLE     521u /* The device handle was invalid */
#define ZORVI_INVALID_INDEX      522u /* The index parameter was invalid */
#define ZORVI_INVALID_REGION     523u /* The offset and/or length parameters were invalid */
#define ZORVI_NULL_POINTER       524u /* A NULL pointer was passed where non-NULL was required */
#define ZORVI_CANCELLED          525u /* The operation was cancelled */
#define ZORVI_RESOURCE_LIMIT     526u /* A resource limit was reached */
#define ZORVI_REGION_TOO_LARGE   527u /* The region was too large for a single operation */
#define ZORVI_WRONG_MODE         529u /* The device was not in the proper mode */
#define ZORVI_NOT_SUPPORTED      530u /* The operation is not supported for this device */
#define ZORVI_INVALID_PARAMETER  531u /* A parameter had an illegal value */
#define ZORVI_TIMEOUT            532u /* The operation did not complete within the timeout period */
#define ZORVI_SHORT_COMMAND      533u /* The length of the command was less than 2 bytes */
#define ZORVI_BAUD_RATE_FAILED   534u /* Failed to set the serial port to the requested baud rate */

/**
 * Opens a serial port by name (for example /dev/ttyACM0) for reading and
 * writing, exclusively, in raw 8-bit mode, and drains what it holds.
 * name: in, must not be NULL. handle: out, must not be NULL.
 */
ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_OpenPortA(const char* name, ZORVI_HANDLE* handle);
/** Wide-text form of ZORVI_OpenPortA. */
ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_OpenPortW(const wchar_t* name, ZORVI_HANDLE* handle);

/** Changes only the port's baud rate; any rate the port accepts. */
ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_SetPortBaud(ZORVI_HANDLE handle, uint32_t baud);

/**
 * One request/reply exchange.
 * flags: ignored, pass 0. timeoutUs: bounds the whole exchange in
 * microseconds, 0 for no limit. request: requestLength bytes (at least 2).
 * reply: capacity replyCapacity; bytes of a longer reply are dropped.
 * replyLength: out, the decoded length of the reply frame, which may exceed
 * replyCapacity. Buffers belong to the caller for the length of the call.
 */
ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_Command(ZORVI_HANDLE handle, uint32_t flags, uint32_t timeoutUs,
                                                   uint32_t requestLength, const uint8_t* request,
                                                   uint32_t replyCapacity, uint8_t* reply,
                                                   uint32_t* replyLength);

/** Closes the port; the handle must not be used afterwards. */
ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_Close(ZORVI_HANDLE handle);

/**
 * Text of a status: selector 0 gives the description, any other value the
 * symbolic name. The texts are constants of the library; never free them.
 */
ZORVI_EXPORT const char* ZORVI_CALL ZORVI_GetStatusStringA(ZORVI_STATUS status, uint32_t selector);
/** Wide-text form of ZORVI_GetStatusStringA. */
ZORVI_EXPORT const wchar_t* ZORVI_CALL ZORVI_GetStatusStringW(ZORVI_STATUS status, uint32_t selector);

/* Function-pointer types, for programs that bind the library at run time. */
typedef ZORVI_STATUS(ZORVI_CALL* ZORVI_OpenPortA_Fn)(const char*, ZORVI_HANDLE*);
typedef ZORVI_STATUS(ZORVI_CALL* ZORVI_OpenPortW_Fn)(const wchar_t*, ZORVI_HANDLE*);
typedef ZORVI_STATUS(ZORVI_CALL* ZORVI_SetPortBaud_Fn)(ZORVI_HANDLE, uint32_t);
typedef ZORVI_STATUS(ZORVI_CALL* ZORVI_Command_Fn)(ZORVI_HANDLE, uint32_t, uint32_t, uint32_t, const uint8_t*,
                                                  uint32_t, uint8_t*, uint32_t*);
typedef ZORVI_STATUS(ZORVI_CALL* ZORVI_Close_Fn)(ZORVI_HANDLE);
typedef const char*(ZORVI_CALL* ZORVI_GetStatusStringA_Fn)(ZORVI_STATUS, uint32_t);
typedef const wchar_t*(ZORVI_CALL* ZORVI_GetStatusStringW_Fn)(ZORVI_STATUS, uint32_t);

#ifdef __cplusplus
}
#endif

#endif /* ZORVI_H */
