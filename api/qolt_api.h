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
#include <stddef.h>
#include <wchar.h>

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
/*
 * Recorded signals are loaded into one library-wide playback buffer and played by output function 7, once or
 * in a loop. Loading replaces the buffer whole and does not start, stop or change the output; a playback
 * already streaming takes the new recording's length and rate at its next change. Loads run one at a time
 * (concurrent calls wait for each other); do not call them from a library callback.
 * Paths are wide-character strings; the POSIX builds convert them to the multibyte encoding of the current
 * locale (LC_CTYPE) and refuse (-1) a path that does not convert or needs 512 bytes or more.
 * Numbers in files are read the same whatever locale the application set (a full stop is the decimal mark).
 * Failures -1, -2 and -3 leave the loaded recording, its length and rate as they were; -4 leaves the buffer
 * empty.
 */

/**
 * Loads a text recording: line 1 the sample rate (samples/s, a decimal number above 0), line 2 the sample
 * count N, then one sample per line (a line without a number is 0). Lines longer than 127 characters count as
 * several lines. Samples are clamped to -5000..5000; the playback range follows their peak magnitude before
 * clamping (peak/1000, at most 5.0). Reads N samples or up to the end of the file.
 * Returns the number of samples loaded (0 or more); -1 file cannot be opened; -2 no first line, or a rate
 * that is not a finite number above 0; -3 no second line, or N = 0; -4 N negative or no memory.
 */
QOLT_API int LoadEEGtxt(const wchar_t* path);

/**
 * Loads a big-endian binary recording: unsigned 16-bit sample rate (samples/s), signed 32-bit count N, then
 * N signed 16-bit samples. Clamping, peak and reading as for LoadEEGtxt; a trailing odd byte is ignored.
 * Returns the number of samples loaded; -1 file cannot be opened; -2 fewer than 2 bytes or rate 0; -3 fewer
 * than 6 bytes or N = 0; -4 N negative or no memory.
 */
QOLT_API int LoadEEGbin(const wchar_t* path);

/**
 * Loads one signal (0-based index, annotation signals included) of an EDF or EDF+ file as physical values,
 * unclamped, all data records back to back. The rate is samples per record / whole seconds per record,
 * truncated. The playback range is left as the last text or binary load set it. A file cut short yields the
 * records it holds; the missing part of the last one is 0.
 * Returns the number of samples loaded; -1 the file cannot be opened or its headers are short or invalid;
 * -2 no such signal, or a rate that truncates to 0; -4 more than INT_MAX samples or no memory.
 */
QOLT_API int LoadEEGedf(const wchar_t* path, int signal);

/** Chooses whether playback repeats at the end of the recording (true at library load). Returns 0. */
QOLT_API int EnablePlayRawDataLoop(bool loop);

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
