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

/* Release of this library (the VERSION file of its sources; GetLibraryVersion reports the same at run
 * time). The major number is the ABI number in the shared library's name (libqolt.so.1). */
#define QOLT_VERSION_MAJOR 1
#define QOLT_VERSION_MINOR 0
#define QOLT_VERSION_PATCH 0
#define QOLT_VERSION_STRING "1.0.0"
/** Release as one comparable number: major * 10000 + minor * 100 + patch. */
#define QOLT_VERSION_NUMBER (QOLT_VERSION_MAJOR * 10000 + QOLT_VERSION_MINOR * 100 + QOLT_VERSION_PATCH)
/* Version of the instrument interface these calls implement (what GetSDKVersion reports). */
#define QOLT_SDK_VERSION_STRING "1.7.7"

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
    SpecialWave227_0 = 0,
    SpecialWave227_1,
    SpecialWave227_2,
    SpecialWave227_3,
    SpecialWave227_4,
    SpecialWave227_5,
    SpecialWave227_6,
    SpecialWave227_7,
    SpecialWave227_8,
    SpecialWave227_9
} SpecialWave227_E;

/** Index of a stored one-second waveform of the IEC 60601-2-51 table (output function 9). */
typedef enum SpecialWave251_E {
    SpecialWave251_0 = 0,
    SpecialWave251_1,
    SpecialWave251_2,
    SpecialWave251_3,
    SpecialWave251_4,
    SpecialWave251_5,
    SpecialWave251_6,
    SpecialWave251_7,
    SpecialWave251_8,
    SpecialWave251_9,
    SpecialWave251_10,
    SpecialWave251_11,
    SpecialWave251_12,
    SpecialWave251_13,
    SpecialWave251_14,
    SpecialWave251_15
} SpecialWave251_E;

/** Pacemaker pulse pattern. Any other value behaves as PacingPulse_Single. */
typedef enum PacingPulse_E {
    PacingPulse_Single = 0,    /**< one pulse per pacing period */
    PacingPulse_Pair150ms = 1, /**< an extra pulse 150 ms before the main one */
    PacingPulse_Pair250ms = 2  /**< an extra pulse 250 ms before the main one */
} PacingPulse_E;

/** Mains noise added to the ECG2_27 test complex. Any other non-zero value means 60 Hz. */
typedef enum ECG2_27_NoiseFreq_E {
    ECG2_27_Noise_Off = 0,
    ECG2_27_Noise_50Hz = 1,
    ECG2_27_Noise_60Hz = 2
} ECG2_27_NoiseFreq_E;

/* ---- Session (connection, identity) ---------------------------------------------------------------- */
/* @section session */
/*
 * One session per process. Init or Connect start a background connection thread that finds the
 * instrument (any port, or the one named), identifies it, streams to it and, when it is unplugged, tells
 * the listener false and searches again; plugging it back brings the link up again without any call, and
 * the output still selected is restarted. Close ends the session. See "Threads" at the end of this file.
 */

/** Starts the session and returns at once; the listener hears true when a link comes up and false when
 *  it is lost (from the connection thread). A second Init (or Connect) while the session runs only
 *  replaces the listener and the port. Searches every port. False when the thread cannot be started. */
QOLT_API bool Init(QoltListenerCB listener);
/** Starts the session on `port` (-1: any port; on Linux the n of /dev/ttyACMn) and waits up to
 *  `timeout_ms` ms for a link to come up. True when one came up meanwhile; false otherwise (also when a
 *  link was already up, or when called from a library callback): the search goes on in the background,
 *  and GetConnectionReport tells why it has found nothing so far. A Close made meanwhile, on any thread
 *  or from a callback, ends the wait: Connect returns false. Replaces an Init listener (nothing is heard
 *  through it afterwards). */
QOLT_API bool Connect(int port, unsigned timeout_ms);
/** Ends the session: restores the default settings (ResetQOLT), tells the instrument, takes the link
 *  down (the listener hears false if a link was up) and stops the connection thread. No callback comes
 *  after it returns. With no session nothing is sent. Returns in bounded time: about a second at most
 *  while a port is being probed, and about a second more when the instrument has stopped taking data
 *  (once a write has waited a second for room in vain, the writes after it do not wait until the
 *  instrument takes data again). Ends a Connect waiting on another thread. From a callback it only asks
 *  for the end: see "Threads". */
QOLT_API void Close(void);
/** True while a link is up: from the instrument passing identification (before the listener hears true)
 *  until the link goes down (before it hears false). False while the library only probes ports. */
QOLT_API bool IsConnected(void);
/** True when the connected instrument is the enhanced (300R) model. */
QOLT_API bool IsQOLT300R(void);
/** Serial number of the connected instrument (from its information block, else its serial text); empty
 *  when none is connected. At most 31 characters. Static buffer, valid until the next call. */
QOLT_API const char* GetSerialNumber(void);
/** Firmware version "major.minor" of the connected instrument; empty when unknown. Static buffer. */
QOLT_API const char* GetFWVersion(void);
/** Hardware version "x.y" of the connected instrument; empty when unknown. Static buffer. */
QOLT_API const char* GetHWVersion(void);
/** Version of this interface, "1.7.7" (QOLT_SDK_VERSION_STRING). */
QOLT_API const char* GetSDKVersion(void);
/** Release of this library build, "major.minor.patch" (QOLT_VERSION_STRING of the headers it was built
 *  with; compare it with the header's to catch a mismatched library). Static text. Any thread. */
QOLT_API const char* GetLibraryVersion(void);

#if QOLT_HAS_EXTENDED
/** Asks the connection thread to check the link now (it ends the session if the instrument's device node
 *  is gone). Extended. */
QOLT_EXT_API void ReconnectDevice(void);
/** Port Init uses at its next connection attempt (-1: any). Extended. */
QOLT_EXT_API void SpecifyCOMPort(int port);
/** Device-change notification handler: message 537 (0x219) asks for a link check as ReconnectDevice
 *  does; other messages are ignored. Extended. */
QOLT_EXT_API void WinEventCb(unsigned message, unsigned code, unsigned long data);
/** Serial number from the information block; empty when unknown. At most 31 characters. Static
 *  buffer. Extended. */
QOLT_EXT_API const char* GetHWInfo(void);
/** The port numbers a search without a named port tries, in the order it tries them (Linux: 0 to 127;
 *  macOS: the listed nodes). Writes at most `capacity` of them to `ports` and returns how many there are,
 *  which may be more than `capacity`; -2 when `capacity` is negative or `ports` is null with a non-zero
 *  capacity. Extended. */
QOLT_EXT_API int GetCandidatePorts(int* ports, int capacity);
/** Name of the connected port (the device path); empty when none is connected. Static buffer. Extended. */
QOLT_EXT_API const char* GetUSBPort(void);
/** True once the instrument has sent its firmware version report (kept across links). Extended. */
QOLT_EXT_API bool IsVersion4(void);
/** One reading of the instrument's converter (0..65535). 0 when no instrument is connected or no reading
 *  came, which cannot be told from a reading of 0. Pauses the stream's polling for about 10 ms.
 *  Extended. */
QOLT_EXT_API int GetAD(void);
/** Registers the error listener (instrument error reports, code 0x80000001, from the poll thread); null
 *  unregisters. Extended. */
QOLT_EXT_API void RegisterErrorCallback(QoltErrorCB callback);
/** Period of the output function now in force, in seconds. Extended. */
QOLT_EXT_API double GetTimePeriod(void);
/** Writes the instrument's identity: group (byte 10; 17 and above selects the newer serial form), model
 *  (byte 9; 2 = enhanced model), hardware version x10, unit number 0..65535; each is taken modulo 256
 *  (the unit modulo 65536). Re-reads the block and rebuilds the identity. 1 on success; 0 on failure,
 *  and 0 without writing anything when no complete information block was received on this link. For
 *  production tools. Extended. */
QOLT_EXT_API int SetDeviceInformation(int group, int model, int hw_version_x10, int unit);
/** Writes up to 16 bytes (the first 16 of `length`) of the manufacturing record; the rest of the record
 *  is kept. A null pointer writes an unchanged record. 1 on success; 0 on failure, and 0 without writing
 *  anything when no complete information block was received on this link. Extended. */
QOLT_EXT_API int WriteMfgInfo(const unsigned char* data, unsigned long length);
/** Copies min(length, 16) bytes of the manufacturing record last received (zeros before any
 *  connection) into `buffer`; a null buffer copies nothing. Returns 1. Extended. */
QOLT_EXT_API int ReadMfgInfo(unsigned char* buffer, unsigned long length);
#endif

/* ---- Waveform settings ----------------------------------------------------------------------------- */
/* @section settings */
/*
 * Setting calls return 0 on success and -1 when no instrument is ready (no port open and no listener
 * registered through Init/Connect). A stored setting takes effect at the end of the running waveform
 * cycle, or at once while no waveform is output. Getters return the setting as stored, also before it
 * has taken effect. Range checks include both bounds; NaN and infinity are refused with the range code.
 *
 * Threads (see also "Threads" at the end): setting calls, callback registrations and ResetQOLT may be
 * made from any thread; the library lock serialises them with each other and with the building of each
 * sample packet, so that no packet mixes two settings half-way. A setting call may wait while a packet
 * is built (well under a millisecond), and about 300 ms when it stops the output. Every getter takes
 * the lock too (the poll thread changes stored values at cycle ends, see "Threads"), so it returns a
 * whole value as stored before or after a change made at the same time, and it may wait like a setting
 * call. A call that starts the output sends the range, relays and DC offset; the poll thread builds the
 * stream's first packet at its next turn. The instrument error listener may also be called from a setting
 * call that starts the output (reports that wait at the port are read then).
 */

/** Output function 0..15 (0 = off; 6 = exponential pulse pair, 7 = recorded-signal playback). Asking
 *  for the number already stored does nothing. Numbers without a waveform output 0 V. Returns 0 or -1. */
QOLT_API int SetOutputFunc(int function);
/** The output function as set through SetOutputFunc (6 and 7 for the pulse pair and playback). */
QOLT_API int GetOutputFunc(void);
/** Amplitude -2000..2000. -2 outside the range; -3 while the baseline-reset test is on. */
QOLT_API int SetAmplitude(double amplitude);
/** The amplitude setting. */
QOLT_API double GetAmplitude(void);
/** Frequency in Hz, 0.05 up to the function's limit (5 Hz for functions 4 and 5, 6 Hz for the ECG2_27
 *  complex, 500 Hz otherwise). Below or above, the bound is stored, takes effect like an accepted
 *  frequency, and -2 is returned (nothing is stored while a scan or the baseline-reset test runs, nor for
 *  NaN or infinity); -3 while a frequency scan runs; -4 while the baseline-reset test is on. */
QOLT_API int SetFrequency(double hz);
/** The frequency setting in Hz. */
QOLT_API double GetFrequency(void);
/** DC offset. In variable mode any of -1000..1000. In fixed mode only what the relays give: 0, 300 or
 *  -300 (0, 150 or -150 on the 300R model). -2 for anything else, and nothing changes. */
QOLT_API int SetDCOffset(int offset);
/** The DC offset setting. */
QOLT_API int GetDCOffset(void);
/** Variable (DAC-generated) DC offset mode on or off. Switching it off keeps a setting the fixed mode
 *  can give (see SetDCOffset) and returns any other to 0, no offset: the fixed mode never puts out an
 *  offset that was not asked for. */
QOLT_API int SetDCOffsetVariableMode(bool on);
/** The variable DC offset mode. */
QOLT_API bool GetDCOffsetVariableMode(void);
/** Switches output lead 0..8 on or off (relays switch at once). -2 for other lead numbers. */
QOLT_API int SetOutputLead(int lead, bool on);
/** Whether output lead 0..8 is on; false for other lead numbers. */
QOLT_API bool GetOutputLead(int lead);
/** Pulse width in ms, 2..300, of output functions 4 and 5. -2 outside. */
QOLT_API int SetPulseWidth(double ms);
/** The pulse width setting in ms. */
QOLT_API double GetPulseWidth(void);
/** Input-impedance mode (relay switches at once). */
QOLT_API int SetInputImpedanceMode(bool mode);
/** The input-impedance mode. */
QOLT_API bool GetInputImpedanceMode(void);
/** Baseline-reset test: 0 off; 1, 2, 3, 4 = fixed sine at 50, 60, 80, 100 Hz, only while output
 *  function 1 (sine) is selected. -2 for other modes or another function. */
QOLT_API int SetBaselineResetTest(int mode);
/** The baseline-reset test mode. */
QOLT_API int GetBaselineResetTest(void);
/** Registers the waveform display callback (time in s, value); null unregisters. */
QOLT_API void RegisterTimeAmpCB(QoltTimeAmpCB callback);
/** Registers the callback told when the library changes the frequency by itself. */
QOLT_API void RegisterSyncFreqCB(QoltSyncFreqCB callback);
/** Registers the callback told when the library changes the output function by itself. */
QOLT_API void RegisterSyncMainFuncCB(QoltSyncMainFuncCB callback);
/** Restores the default settings (output off, amplitude 100, 10 Hz, no DC offset, lead 0 only, ...)
 *  through the setting calls; the drift test, baseline-reset test and overshoot amplitude stay. */
QOLT_API void ResetQOLT(void);

#if QOLT_HAS_EXTENDED
/** Extended. Plays stored IEC 60601-2-27 waveform 0..9 (output function 8) at once. -2 for other
 *  indices. Needs no instrument. */
QOLT_EXT_API int SetSpecialWave227(SpecialWave227_E index);
/** Extended. The stored-waveform index (shared by output functions 8 and 9). */
QOLT_EXT_API int GetSpecialWave227(void);
/** Extended. Plays stored IEC 60601-2-51 waveform 0..15 (output function 9) at once. -2 for other
 *  indices. Needs no instrument. */
QOLT_EXT_API int SetSpecialWave251(SpecialWave251_E index);
/** Extended. The stored-waveform index (shared by output functions 8 and 9). */
QOLT_EXT_API int GetSpecialWave251(void);
/** Extended. Plays lead 0..8 of the ANE20000 signal (output function 15) at once. -1 for other leads.
 *  Needs no instrument. */
QOLT_EXT_API int SetANE20000Lead(int lead);
/** Extended. The ANE20000 lead. */
QOLT_EXT_API int GetANE20000Lead(void);
/** Extended. DC offset in common mode (relays switch at once). -1 while no port is open. */
QOLT_EXT_API int SetDCOffsetCommonMode(bool on);
/** Extended. Same as SetDCOffsetCommonMode. */
QOLT_EXT_API int SetDCOffsetCommoneMode(bool on);
/** Extended. The common-mode DC offset setting. */
QOLT_EXT_API bool GetDCOffsetCommonMode(void);
/** Extended. Same as GetDCOffsetCommonMode. */
QOLT_EXT_API bool GetDCOffsetCommoneMode(void);
/** Extended. Registers the pacemaker marker callback (four points per pulse); null unregisters. */
QOLT_EXT_API void RegisterPacingTimeAmpCB(QoltTimeAmpCB callback);
/** Extended. Pacemaker pulse pattern. */
QOLT_EXT_API int SetPacingPulseMode(PacingPulse_E mode);
/** Extended. The pacemaker pulse pattern. */
QOLT_EXT_API PacingPulse_E GetPacingPulseMode(void);
/** Extended. QRS duration of the ECG2_27 complex in ms, 5..200. -2 outside. */
QOLT_EXT_API int SetQRSDuration(double ms);
/** Extended. The QRS duration in ms. */
QOLT_EXT_API double GetQRSDuration(void);
/** Extended. T-wave amplitude of the ECG2_27 complex, 0..2.5 (sample scale, no gain). -2 outside. */
QOLT_EXT_API int SetTWave(double amplitude);
/** Extended. The T-wave amplitude. */
QOLT_EXT_API double GetTWave(void);
/** Extended. Pacemaker pulse amplitude -700..700; 0 = pacing off. -2 outside. */
QOLT_EXT_API int SetPacingAmplitude(double amplitude);
/** Extended. The pacemaker pulse amplitude. */
QOLT_EXT_API double GetPacingAmplitude(void);
/** Extended. Pacemaker pulse duration in ms, 0.1..3.0. -2 outside. */
QOLT_EXT_API int SetPacingDuration(double ms);
/** Extended. The pacemaker pulse duration in ms. */
QOLT_EXT_API double GetPacingDuration(void);
/** Extended. Pacemaker pulses per minute, 10..300. -2 outside. */
QOLT_EXT_API int SetPacingRate(unsigned int perMinute);
/** Extended. The pacing rate per minute. */
QOLT_EXT_API unsigned int GetPacingRate(void);
/** Extended. Overshoot time constant after a pacemaker pulse in ms, 0..100 (0 = no overshoot). -2 above. */
QOLT_EXT_API int SetOvershootTimeConstant(unsigned int ms);
/** Extended. The overshoot time constant setting in ms. */
QOLT_EXT_API unsigned int GetOvershootTimeConstant(void);
/** Extended. Overshoot amplitude -5.0..5.0 (0 = a quarter of the pulse, opposite sign). -2 outside. */
QOLT_EXT_API int SetPacingOvershootAmp(double amplitude);
/** Extended. The overshoot amplitude setting. */
QOLT_EXT_API double GetPacingOvershootAmp(void);
/** Extended. Mains noise on the ECG2_27 complex and its peak-to-peak amplitude. A non-zero selection
 *  needs that complex running (else -2) and an amplitude of 0.01..0.2 (else -3); NaN or infinite
 *  amplitudes give -3. */
QOLT_EXT_API int SetECG2_27_Noise(ECG2_27_NoiseFreq_E selection, double amplitude);
/** Extended. The mains-noise selection. */
QOLT_EXT_API int GetECG2_27_NoiseFreq(void);
/** Extended. The mains-noise amplitude setting (peak-to-peak). */
QOLT_EXT_API double GetECG2_27_NoiseAmp(void);
/** Extended. Drift test on the ECG2_27 complex (a +-2 triangle with a 10 s period). */
QOLT_EXT_API int SetECG2_27_AAMIDriftTest(bool on);
/** Extended. The drift test setting. */
QOLT_EXT_API bool GetECG2_27_AAMIDriftTest(void);
/** Extended. Dynamic-range test: a sine of amplitude 0..5.0 (peak-to-peak) and 10..50 Hz added to the
 *  triangle or square. -2 when switched on with another function; -3 amplitude, -4 frequency outside. */
QOLT_EXT_API int SetDynamicRangeTest(bool on, double amplitude, double hz);
/** Extended. Whether the dynamic-range test is on. */
QOLT_EXT_API bool GetDynamicRangeTest(void);
/** Extended. The dynamic-range test amplitude. */
QOLT_EXT_API double GetDynamicRangeTestAmp(void);
/** Extended. The dynamic-range test frequency in Hz. */
QOLT_EXT_API double GetDynamicRangeTestFreq(void);
#endif

/* ---- Frequency scan -------------------------------------------------------------------------------- */
/* @section scan */
/*
 * A scan sweeps the frequency of the output linearly from a start to a stop frequency, stepped after
 * every output sample with the waveform's phase kept. The frequency callback (RegisterSyncFreqCB) hears the
 * frequency after every packet (0.3 s of output). Once the frequency has reached the stop frequency, or has
 * fallen to the start frequency (a stop at or below the start ends the scan after its first packet), the
 * output is switched off and the output-function callback (RegisterSyncMainFuncCB) hears 0. The end is
 * tested once per packet, so the frequency may pass the stop by up to one packet's steps. While a scan
 * runs, SetFrequency is refused (-3); switching the output off ends the scan.
 */

/** Starts (enable true: sine, output function 1, from startFreq) or ends (enable false: output off) a sine
 *  scan from startFreq (Hz, 0.5..500) to stopFreq (Hz, 0.01..500) in duration seconds (10..180). The three
 *  values are stored whatever enable is. Returns 0; -1 when no instrument is ready; -2 startFreq, -3
 *  stopFreq, -4 duration outside its range (NaN and infinity included), checked in that order, and then
 *  nothing is stored. Ending with the output already off stores the values and calls no callback. */
QOLT_API int SetFreqScanSine(bool enable, double startFreq, double stopFreq, int duration);
/** True while a sine scan runs. */
QOLT_API bool GetFreqScanSine(void);
/** Start frequency of the last scan set, in Hz (0.5 by default; 0.05 after SetFreqScanECG(true)). */
QOLT_API double GetFreqScanSineStartFreq(void);
/** Stop frequency of the last scan set, in Hz (150 by default; 0.5 after SetFreqScanECG(true)). */
QOLT_API double GetFreqScanSineStopFreq(void);
/** Duration of the sine scan in seconds (30 by default). */
QOLT_API int GetFreqScanSineDuration(void);
#if QOLT_HAS_EXTENDED
/** Extended. enable true: the ECG2_27 complex with its rate swept from 0.05 Hz to 0.5 Hz in 30 s (the
 *  sine scan's start and stop become 0.05 and 0.5; its duration is kept). enable false: output off.
 *  Returns 0, or -1 when no instrument is ready. */
QOLT_EXT_API int SetFreqScanECG(bool enable);
/** Extended. True while any frequency scan runs (sine or ECG rate). */
QOLT_EXT_API bool GetFreqScanECG(void);
#endif

/* ---- Recorded-signal playback ---------------------------------------------------------------------- */
/* @section playback */
/*
 * Recorded signals are loaded into one library-wide playback buffer and played by output function 7, once or
 * in a loop. Loading replaces the buffer whole. It neither starts nor stops the output; while output function
 * 7 is selected, playback starts again at once with the new recording, from its first sample, with its own
 * length and rate. Loads run one at a time (concurrent calls wait for each other); do not call them from a
 * library callback.
 * Paths are wide-character strings; the POSIX builds convert them to the multibyte encoding of the current
 * locale (LC_CTYPE) and refuse (-1) a path that does not convert or needs 512 bytes or more. A path that is
 * not a regular file (a FIFO, a device, a directory) is refused at once (-1): nothing waits for a writer.
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
 * unclamped, all data records back to back. The rate is samples per record / the record's duration, read
 * as the decimal number of seconds it is ("0.5", "1.5"), nothing cut off. The playback range is left as the
 * last text or binary load set it. A file cut short yields the records it holds; the missing part of the
 * last one is 0.
 * Returns the number of samples loaded; -1 the file cannot be opened or its headers are short or invalid (a
 * record duration that is not a positive finite number included); -2 no such signal, or a rate that is not
 * a finite number above 0 (no samples per record); -4 more than INT_MAX samples or no memory.
 */
QOLT_API int LoadEEGedf(const wchar_t* path, int signal);

/** Chooses whether playback repeats at the end of the recording (true at library load). Played once, a
 *  recording ends after exactly one pass, its last packet sent whole: settings changed while it plays take
 *  effect at its end (the end of its cycle), where the output stops and the output-function callback hears
 *  0 once. Returns 0. */
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
 *  "/private/var/kestrane/lock" on macOS). It is created when missing, with every missing parent folder
 *  (as mkdir -p, mode 0755 less the umask), at each connection attempt; while it cannot be made, no port
 *  can be locked and none is used. A lock file naming a process that no longer exists, or naming this
 *  process while it holds no lock (an earlier process with the same pid left it), is stale and replaced;
 *  one naming another live process, or not holding a pid, keeps its port from being used.
 *  Null restores the default.
 *  Returns 0, or -2 (nothing changed) when the directory is empty or a lock-file path in it could reach
 *  128 bytes. Takes effect at the next connection attempt. */
QOLT_POSIX_API int SetLockDirectory(const char* directory);
#endif

/* ---- Diagnostics (result meanings, connection report, log) ----------------------------------------- */
/* @section diagnostics */

/** Meaning of a result: what `code`, returned by the call named `call` ("SetPacingRate"), says, as a short
 *  static text ("allowed 10 to 300 per minute"). The table holds every negative code the calls above
 *  document (the command-line tool's refusal messages use the same texts); 0 is "success" (loaders:
 *  "the file holds no samples"), -1 "no instrument is ready" unless the call documents otherwise. An
 *  empty text for a pair the table does not know and for a null `call`. Never null; any thread. */
QOLT_API const char* GetResultMeaning(const char* call, int code);

/**
 * Why the last connection attempt (a search of every port, or of the port named; the connection thread
 * makes one a second until a link comes up) found no instrument: one line per port it tried,
 * "NODE: REASON", where REASON is one of
 *   no such device node
 *   permission denied (the system's text)          also "cannot be opened (...)" for other errors
 *   locked by process N, which is running          its lock file is held; or "its lock file cannot be taken"
 *   not a terminal (the system's text)
 *   no reply to the identify query
 *   not the instrument: the identify query got N bytes (hex)
 *   identified, but the identification exchange failed
 *   connected                                      the attempt found it
 * A search of every port counts the nodes that do not exist in one line ("FIRST to LAST: no such device
 * node (N nodes between them included)"). Copies the report, cut to fit and terminated, into `buffer`
 * (`size` bytes; a null buffer or 0 copies nothing) and returns the length of the whole report (without
 * the terminator), so that a larger buffer can be offered; 0 before any attempt has ended. The report
 * stays until the next attempt ends, also after Close. Any thread.
 */
QOLT_API int GetConnectionReport(char* buffer, size_t size);

/** Levels of the library's log; a level includes the ones above it. */
typedef enum QoltLogLevel_E {
    QoltLog_Off = 0,
    QoltLog_Error = 1,   /**< a failure the library could not recover from on its own (a write error) */
    QoltLog_Warning = 2, /**< a failure it works around (a port that cannot be opened, a short write) */
    QoltLog_Info = 3,    /**< connections: ports tried and why each was passed over, link up and down */
    QoltLog_Wire = 4     /**< every message to and from the instrument in hex; one line per sample packet */
} QoltLogLevel_E;

/** Log callback: the level of the message and its text (one line, no newline; valid during the call). */
typedef void (*QoltLogCB)(int level, const char* message);

/**
 * Sets the log callback and the most detailed level it hears (QoltLog_Error..QoltLog_Wire; larger values
 * mean QoltLog_Wire). May be called at any time, also before Init, and replaces an earlier callback. A
 * null callback or QoltLog_Off ends the log: the messages already queued are delivered first, and the call
 * returns when the callback has returned for the last time (from the log callback itself it only asks
 * for the end). No callback comes after that.
 *
 * The messages are queued where they arise (also on the poll thread: without waiting for the callback and
 * without any lock an application could hold) and delivered in order from the library's log thread, a thread
 * of its own that runs from the first call with a callback until the log is ended; no library lock is held
 * then, so the callback may make any call. While the callback keeps up, nothing is lost; when the queue (256
 * messages) is full, new messages are dropped and a warning then says how many. At QoltLog_Wire a sample
 * packet is logged as one summary line, not its 3200 bytes. End the log before unloading the library.
 */
QOLT_API void RegisterLogCallback(QoltLogCB callback, int level);

/*
 * Threads
 *
 *   The library's own threads:
 *     - the connection thread, from Init or Connect until Close: finds and identifies the instrument,
 *       runs the link, notices its loss and searches again;
 *     - the poll thread, one per link: builds every sample packet and reads the instrument's reports.
 *       No other thread builds a packet: a stream's first packet, asked for by the call that starts the
 *       output, and the data requests that come while a caller exchanges messages with the instrument
 *       are queued for the poll thread's next turn. At the end of each waveform cycle it applies the
 *       stored settings (while no waveform is output, the setting call applies them itself), and doing
 *       so it changes stored settings the getters return: the output function and frequency (as a
 *       frequency scan moves on or ends), the scan values, the amplitude (limited to what the output
 *       range gives), the pulse width (of the pulse pair) and the baseline-reset mode (off when the
 *       output stops). A packet write gives up when the port has taken nothing for about a
 *       second; once one has given up, the data requests already queued get no packet, and no write
 *       waits again until the instrument takes data;
 *     - the monitor thread, for the library's whole life: watches the connected instrument's device node;
 *     - the log thread, while a log callback is set: delivers the log (RegisterLogCallback).
 *
 *   Every call may be made from any application thread, also from several at once. The calls that
 *   exchange messages with the instrument, build packets or change what a packet is built from are
 *   serialised by one recursive library lock; the poll thread holds it while it builds a packet (well
 *   under a millisecond) and the connection thread while it probes a port (about a second at most when
 *   a port answers and is rejected). Every getter of a setting or of the instrument's state takes the
 *   library lock (the text queries a lock of their own), so a getter never sees a value half-written,
 *   and may wait as long as a setting call; IsConnected, IsQOLT300R and GetSDKVersion read
 *   values that are written whole and take none.
 *   Calls that ask the instrument (GetAD, SetDeviceInformation,
 *   WriteMfgInfo) also pause the poll thread for their exchange; data requests that come meanwhile are
 *   answered by the poll thread at its next turn, never by the caller. Init, Connect and Close made on
 *   several application threads at once take turns (Connect's wait for the link excepted). The text
 *   queries return static buffers shared by all threads (see the conventions at the top).
 *
 *   Callbacks, where they come from and what they may do:
 *     - Connection listener (Init; Connect's own handler): from the connection thread, no library lock
 *       held; it hears true once the poll thread and the monitor run, so the stream does not wait for
 *       it. It may make any call. Close from it only asks for the end: it returns at once, the
 *       listener then hears false and the thread ends by itself (the next session call joins it).
 *       Connect from it returns false at once. Init from it replaces the listener; it returns false, and
 *       does nothing, while a Close made on another thread is ending the session.
 *     - Graph and pacing graph callbacks (RegisterTimeAmpCB, RegisterPacingTimeAmpCB) and the error
 *       listener (RegisterErrorCallback): from the poll thread only, with the library lock held, while a
 *       packet is built or a report is read. Keep them short: the instrument waits for the packet. They
 *       may call the getters and the setting calls (the lock is recursive), and GetAD, WriteMfgInfo and
 *       SetDeviceInformation (the requests that come during those are answered after the packet); Close
 *       and Connect behave as from the listener. They must not wait for another thread that makes
 *       library calls: that thread waits for the lock this one holds.
 *     - Frequency and output-function sync callbacks (RegisterSyncFreqCB, RegisterSyncMainFuncCB): from
 *       the thread that makes the change, with the library lock held: an application thread inside a
 *       setting call, or the poll thread. The rules of the graph callbacks apply, also on an application
 *       thread: Close only asks for the end and Connect returns false at once.
 *     - Notification callbacks (RegisterNotifyEvent): Windows build only, from the monitor's window
 *       thread.
 *     - Log callback (RegisterLogCallback): from the library's log thread, no library lock held. It may
 *       make any call; RegisterLogCallback from it only asks for the end (or replaces the callback).
 *
 *   Unloading: call Close first. The connection and poll threads run until Close ends them.
 *
 *   The library's locks, their order and what each guards: docs/locks.md in the sources.
 */

#ifdef __cplusplus
}
#endif

#endif /* QOLT_API_H */
