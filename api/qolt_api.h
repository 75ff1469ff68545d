/*
 * qolt_api.h - public C interface of libqolt, the host library of the physiological signal simulator.
 *
 * Plain C (usable from C and C++). Every call returns a status and never throws.
 *
 * Conventions
 *   - Setting calls return 0 on success, -1 when no instrument is ready (no port open and no connection
 *     listener registered), and -2, -3, -4 for refused arguments or states; a refused call changes nothing
 *     unless its description says otherwise.
 *   - Range checks include both bounds. NaN and infinite arguments are refused with the call's range code.
 *   - Text results are returned in static buffers owned by the library: valid until the next call of the
 *     same function; do not free them.
 *   - Extended calls (marked "extended") are exported by the Linux build; the Windows and macOS builds keep
 *     them internal. SetDeviceNodeFormat and SetLockDirectory exist on Linux and macOS.
 *
 * Threads and callbacks
 *   See the section "Threads" at the end of this file.
 */
#ifndef QOLT_API_H
#define QOLT_API_H

#include <stdbool.h>

#if defined(_WIN32)
#if defined(QOLT_BUILDING_LIBRARY)
#define QOLT_API __declspec(dllexport)
#else
#define QOLT_API __declspec(dllimport)
#endif
#else
#define QOLT_API __attribute__((visibility("default")))
#endif

/* Extended calls: exported on Linux only; declared for everyone who builds the library. */
#if defined(__linux__)
#define QOLT_EXT_API QOLT_API
#define QOLT_HAS_EXTENDED 1
#elif defined(QOLT_BUILDING_LIBRARY)
#define QOLT_EXT_API
#define QOLT_HAS_EXTENDED 1
#else
#define QOLT_HAS_EXTENDED 0
#endif

/* Calls of the POSIX builds only (Linux and macOS). */
#if !defined(_WIN32)
#define QOLT_POSIX_API QOLT_API
#define QOLT_HAS_POSIX_CALLS 1
#else
#define QOLT_HAS_POSIX_CALLS 0
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Callback types -------------------------------------------------------------------------------- */

/** Connection listener: true when a link to the instrument is up, false when it is lost. */
typedef void (*QoltListenerCB)(bool connected);
/** Waveform points for display: time in seconds, value in the displayed scale. */
typedef void (*QoltTimeAmpCB)(double time_s, double value);
/** The library changed the frequency by itself (Hz). */
typedef void (*QoltSyncFreqCB)(double frequency_hz);
/** The library changed the output function by itself (the number GetOutputFunc reports). */
typedef void (*QoltSyncMainFuncCB)(int output_function);
/** Instrument error report (code 0x80000001). */
typedef void (*QoltErrorCB)(int code);
/** System notification (message code, wparam, lparam). */
typedef void (*QoltNotifyCB)(unsigned code, unsigned wparam, unsigned long lparam);

/* ---- Typed enumerations of the extended calls ------------------------------------------------------ */

/** Index of a stored waveform of the IEC 60601-2-27 table (output function 8). */
typedef enum SpecialWave227_E {
    SpecialWave227_0 = 0, SpecialWave227_1, SpecialWave227_2, SpecialWave227_3, SpecialWave227_4,
    SpecialWave227_5, SpecialWave227_6, SpecialWave227_7, SpecialWave227_8, SpecialWave227_9
} SpecialWave227_E;

/** Index of a stored one-second waveform of the IEC 60601-2-51 table (output function 9). */
typedef enum SpecialWave251_E {
    SpecialWave251_0 = 0, SpecialWave251_1, SpecialWave251_2, SpecialWave251_3, SpecialWave251_4,
    SpecialWave251_5, SpecialWave251_6, SpecialWave251_7, SpecialWave251_8, SpecialWave251_9,
    SpecialWave251_10, SpecialWave251_11, SpecialWave251_12, SpecialWave251_13, SpecialWave251_14,
    SpecialWave251_15
} SpecialWave251_E;

/** Pacemaker pulse pattern. Any other value behaves as PacingPulse_Single. */
typedef enum PacingPulse_E {
    PacingPulse_Single = 0,      /**< one pulse per pacing period */
    PacingPulse_Pair150ms = 1,   /**< an extra pulse 150 ms before the main one */
    PacingPulse_Pair250ms = 2    /**< an extra pulse 250 ms before the main one */
} PacingPulse_E;

/** Mains noise added to the ECG2_27 test complex. Any other non-zero value means 60 Hz. */
typedef enum ECG2_27_NoiseFreq_E {
    ECG2_27_Noise_Off = 0,
    ECG2_27_Noise_50Hz = 1,
    ECG2_27_Noise_60Hz = 2
} ECG2_27_NoiseFreq_E;

/* ---- Session (connection, identity) ---------------------------------------------------------------- */
/* @section session */

#if QOLT_HAS_EXTENDED
/** Asks the connection thread to check the link now (it ends the session if the instrument's device node
 *  is gone). Extended. */
QOLT_EXT_API void ReconnectDevice(void);
#endif

/* ---- Waveform settings ----------------------------------------------------------------------------- */
/* @section settings */

/* ---- Frequency scan -------------------------------------------------------------------------------- */
/* @section scan */

/* ---- Recorded-signal playback ---------------------------------------------------------------------- */
/* @section playback */

/* ---- Device layer (ports, lock files, notifications) ----------------------------------------------- */
/* @section device */

#if QOLT_HAS_EXTENDED
/** Registers the callback for a system notification code, replacing an earlier one for the same code;
 *  a null callback unregisters. The POSIX builds detect removal by polling and never call it. Extended. */
QOLT_EXT_API void RegisterNotifyEvent(unsigned code, QoltNotifyCB callback);
#endif

#if QOLT_HAS_POSIX_CALLS
/** Sets the printf-style format, with exactly one %d, that turns a port number into a device node
 *  (default "/dev/ttyACM%d" on Linux, "/dev/cu.usbmodem%d" on macOS); "%%" stands for '%'. It drives the
 *  port scan, the presence test and the port names given to the identification. Null restores the
 *  default. Returns 0, or -2 (nothing changed) when the format has not exactly one %d, has any other
 *  conversion, or makes paths of 512 bytes or more. Takes effect at the next connection attempt. */
QOLT_POSIX_API int SetDeviceNodeFormat(const char* format);

/** Sets the directory of the port lock files "kestrane.ACM<n>.lock" (default "/var/lock" on Linux,
 *  "/private/var/kestrane/lock" on macOS); it is created when missing. Null restores the default.
 *  Returns 0, or -2 (nothing changed) when the directory is empty or a lock-file path in it could reach
 *  128 bytes. Takes effect at the next connection attempt. */
QOLT_POSIX_API int SetLockDirectory(const char* directory);
#endif

/*
 * Threads
 *   (Written by the session layer: which calls may run concurrently, which thread each callback comes
 *   from and which lock is held then.)
 */

#ifdef __cplusplus
}
#endif

#endif /* QOLT_API_H */
