/* A program built against an installed libqolt (pkg-config or find_package): the header and the library
 * agree on the release, the result meanings are there, and a session with the virtual instrument named on
 * the command line streams a sine and closes.
 *   consumer FORMAT LOCK_DIR PORT */
#define _POSIX_C_SOURCE 200809L

#include <qolt_api.h>

#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static atomic_int g_points;

static void OnPoint(double time_s, double value) {
    (void)time_s;
    (void)value;
    atomic_fetch_add(&g_points, 1);
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: consumer FORMAT LOCK_DIR PORT\n");
        return 2;
    }
    if (strcmp(GetLibraryVersion(), QOLT_VERSION_STRING) != 0) {
        fprintf(stderr, "header %s, library %s\n", QOLT_VERSION_STRING, GetLibraryVersion());
        return 1;
    }
    if (strcmp(GetResultMeaning("SetPacingRate", -2), "allowed 10 to 300 per minute") != 0) {
        fprintf(stderr, "unexpected meaning: %s\n", GetResultMeaning("SetPacingRate", -2));
        return 1;
    }
    if (SetDeviceNodeFormat(argv[1]) != 0 || SetLockDirectory(argv[2]) != 0) {
        fprintf(stderr, "node format or lock directory refused\n");
        return 1;
    }
    if (!Connect(atoi(argv[3]), 5000)) {
        fprintf(stderr, "no instrument within 5 s\n");
        Close();
        return 1;
    }
    RegisterTimeAmpCB(OnPoint);
    int rc = SetAmplitude(1000.0) | SetFrequency(10.0) | SetOutputFunc(1);
    for (int i = 0; i < 200 && atomic_load(&g_points) < 600; ++i) {
        struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, NULL);
    }
    const int points = atomic_load(&g_points);
    Close();
    printf("libqolt %s (interface %s): %d graph points from %s\n", GetLibraryVersion(), GetSDKVersion(),
           points, argv[1]);
    return rc == 0 && points >= 600 ? 0 : 1;
}
