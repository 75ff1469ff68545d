#include "Help.h"

#include "ExitCodes.h"
#include "Functions.h"

#include <cstdio>

namespace qoltcli {

void PrintHelp(FILE* out) {
    std::fputs(
        "usage: qolt [OPTIONS] COMMAND [ARGUMENTS] [OPTIONS]\n"
        "\n"
        "Drives the physiological signal simulator through libqolt: finds it, tells who it is, plays\n"
        "waveforms, scans and recordings. With --virtual the virtual instrument runs in this process.\n"
        "\n"
        "Commands:\n"
        "  list                          probe the device nodes and list the instruments that answer\n"
        "  info                          identity of the instrument and one converter reading\n"
        "  play FUNCTION [N|LEAD]        play an output function (below) until --duration or Ctrl-C\n"
        "  scan sine START STOP SECONDS  sine sweep from START to STOP Hz over SECONDS s\n"
        "  scan ecg                      ECG2_27 complex sweeping its rate from 0.05 to 0.5 Hz over 30 s\n"
        "  load FILE                     load a recording (.txt, .bin, .edf) and play it\n"
        "\n"
        "Functions:\n",
        out);
    for (const FunctionInfo* f = AllFunctions(); f->name != nullptr; ++f) {
        char name[48];
        std::snprintf(name, sizeof name, "%s%s%s", f->name, f->argument != nullptr ? " " : "",
                      f->argument != nullptr ? f->argument : "");
        std::fprintf(out, "  %-21s %s\n", name, f->description);
    }
    std::fputs(
        "\n"
        "Connection (every command):\n"
        "  --port N              use port N (the n of /dev/ttyACMn) instead of searching\n"
        "  --timeout SECONDS     how long to look for the instrument (default 5)\n"
        "  --node-format FORMAT  device nodes, printf style with one %d (default /dev/ttyACM%d);\n"
        "                        for a qolt-sim instrument use the format it prints\n"
        "  --lock-dir DIR        directory of the port lock files (default /var/lock)\n"
        "  --virtual             run the virtual instrument in this process (real-time pacing)\n"
        "  --fast                with --virtual: the instrument asks for data as fast as the host sends\n"
        "  --model standard|enhanced, --firmware MAJOR.MINOR\n"
        "                        with --virtual: what the virtual instrument says it is\n"
        "  --unplug-after-packets N, --replug-after MS\n"
        "                        with --virtual: pull the virtual instrument's plug after N packets and\n"
        "                        plug it back MS ms later (default 500)\n"
        "  --json                print the results as one JSON document\n"
        "\n"
        "Output (play, scan, load):\n"
        "  --duration SECONDS    seconds of output, then stop (default: until Ctrl-C or the output ends);\n"
        "                        with --fast counted in output time, not wall-clock time\n"
        "  --capture FILE        with --virtual: write what the instrument played, FILE.edf (EDF+ with an\n"
        "                        annotation signal for commands and pacing pulses) or FILE.csv; repeatable\n"
        "  --plot FILE.svg       with --virtual: draw it\n"
        "  --leads LIST          output leads to switch on, e.g. 0,3 (0 to 8; the others go off)\n"
        "  --impedance-mode on|off      input-impedance mode\n"
        "  --dc-offset N         DC offset (0, 300 or -300; 0, 150 or -150 on the enhanced model;\n"
        "                        -1000..1000 with --dc-variable)\n"
        "  --dc-variable         variable (converter-generated) DC offset\n"
        "  --dc-common           DC offset in common mode\n"
        "  --pacing-amplitude A  pacemaker pulses of amplitude A (-700..700; 0 = none)\n"
        "  --pacing-duration MS  pulse duration (0.1..3 ms, default 2)\n"
        "  --pacing-rate N       pulses per minute (10..300, default 60)\n"
        "  --pacing-pattern single|pair-150|pair-250   one pulse, or pairs 150 or 250 ms apart\n"
        "  --overshoot-time MS   overshoot time constant after a pulse (0..100; 0 = none)\n"
        "  --overshoot-amplitude A   overshoot amplitude (-5..5; 0 = a quarter of the pulse, opposite)\n"
        "\n"
        "Waveform (play; --amplitude, --qrs, --t-wave, --noise, --drift also for scan):\n"
        "  --amplitude A         amplitude setting (-2000..2000, default 100)\n"
        "  --frequency HZ        frequency (0.05..500 Hz; 5 Hz at most for the pulses)\n"
        "  --pulse-width MS      pulse width of pulse and triangular-pulse (2..300 ms)\n"
        "  --qrs MS              QRS duration of ecg2-27 (5..200 ms)\n"
        "  --t-wave A            T-wave amplitude of ecg2-27 (0..2.5)\n"
        "  --noise 50|60         mains noise on ecg2-27; --noise-amplitude A (0.01..0.2, default 0.1)\n"
        "  --drift               baseline drift on ecg2-27 (+-2 triangle, 10 s period)\n"
        "  --dynamic-range-test  add a sine to triangle or square: --dynamic-range-amplitude A (0..5,\n"
        "                        default 1), --dynamic-range-frequency HZ (10..50, default 40)\n"
        "  --baseline-reset HZ   baseline-reset test with sine: 50, 60, 80 or 100 Hz\n"
        "\n"
        "Recording (load):\n"
        "  --signal N            signal of an EDF/EDF+ file (from 0, default 0)\n"
        "  --once                play it once, then stop (default: repeat)\n"
        "\n"
        "A line of live status goes to stderr when it is a terminal. Ctrl-C or SIGTERM ends a run through\n"
        "the library's Close (the instrument is reset) and still writes the captures.\n"
        "\n"
        "Exit codes:\n"
        "  0  done (also after Ctrl-C or SIGTERM, the end of a scan, or a recording played --once)\n"
        "  1  the run failed (the output did not start)\n"
        "  2  bad command line (unknown command or option, missing or malformed value)\n"
        "  3  the library refused a value; the message names the option, the value and what is allowed\n"
        "  4  no instrument found within the time-out\n"
        "  5  the recording could not be loaded; the message explains the loader's code\n"
        "  6  a capture or plot could not be written\n"
        "  7  the virtual instrument could not be started\n"
        "\n"
        "Examples:\n"
        "  qolt list\n"
        "  qolt play sine --frequency 10 --amplitude 1000 --duration 60\n"
        "  qolt --virtual play ecg --amplitude 1000 --pacing-amplitude 2 --duration 10 \\\n"
        "       --capture capture.edf --plot capture.svg\n"
        "  qolt --virtual --fast scan sine 0.5 150 30 --capture scan.csv --json\n"
        "  qolt load recording.edf --signal 2 --once\n",
        out);
    static_assert(kExitVirtual == 7, "exit codes and help must agree");
}

} // namespace qoltcli
