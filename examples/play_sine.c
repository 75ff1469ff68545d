/*
 * play_sine: the library from C. Connects to the instrument, prints who it is, plays a 10 Hz sine for one
 * second and closes.
 *
 *   play_sine                          the instrument on /dev/ttyACM*
 *   play_sine FORMAT [LOCK_DIR]        another node format, e.g. the one qolt-sim prints:
 *                                      play_sine /tmp/qolt-sim.AbC123/ttyACM%d /tmp/qolt-sim.AbC123
 *
 * Build: cc play_sine.c -lqolt (with the header's folder and the library's folder on the paths).
 */
#define _POSIX_C_SOURCE 200809L /* nanosleep */

#include <qolt_api.h>

#include <stdio.h>
#include <time.h>

/* Waveform points seen, one per fifth sample sent: written on the library's thread, read after Close. */
static unsigned long g_points;

static void OnPoint(double time_s, double value) {
    (void)time_s;
    (void)value;
    ++g_points;
}

int main(int argc, char** argv) {
    if (argc > 1 && SetDeviceNodeFormat(argv[1]) != 0) {
        fprintf(stderr, "play_sine: %s is not a node format with one %%d\n", argv[1]);
        return 2;
    }
    if (argc > 2 && SetLockDirectory(argv[2]) != 0) {
        fprintf(stderr, "play_sine: %s cannot hold the lock files\n", argv[2]);
        return 2;
    }
    if (!Connect(-1, 5000)) { /* any port, wait up to 5 s */
        fprintf(stderr, "play_sine: no instrument found within 5 s\n");
        Close(); /* stops the search that goes on in the background */
        return 1;
    }
    printf("connected: %s, serial %s, hardware %s, firmware %s%s\n", GetUSBPort(), GetSerialNumber(),
           GetHWVersion(), GetFWVersion(), IsQOLT300R() ? ", enhanced model" : "");

    RegisterTimeAmpCB(OnPoint);
    int rc = SetAmplitude(1000.0);
    if (rc == 0) {
        rc = SetFrequency(10.0);
    }
    if (rc == 0) {
        rc = SetOutputFunc(1); /* sine: the stream starts */
    }
    if (rc != 0) {
        fprintf(stderr, "play_sine: a setting was refused (%d)\n", rc);
        Close();
        return 1;
    }
    struct timespec second = {1, 0};
    nanosleep(&second, NULL);

    Close(); /* output off, defaults back, link down; no callback after this */
    printf("played a 10 Hz sine for 1 s: %lu samples sent\n", g_points * 5);
    return g_points > 0 ? 0 : 1;
}
