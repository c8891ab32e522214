/* A second implementation of csdk/csdk.h, built by tests/csdk_log/check_seam.sh
 * and linked into the editor and vantiro-cli with -DVANTIRO_CSDK=...: it
 * stands for another card's library, so it is plain C on its own, shares no
 * code with ours and reads its setting with getenv as any library might
 * (not through platform/, which is our programs' own layer).
 *
 * It reaches no card. It appends every call, with its arguments, as one line
 * to the file named by CSDK_LOG_FILE (nothing is written when unset):
 *
 *   NAME main|thread ARG ...
 *
 * "main" when the call comes from the process's first thread, "thread"
 * otherwise; strings are quoted, with \\, \", \n and every byte outside
 * printable ASCII written as \xHH. It answers CARD_Get_Info_Cmd as a card of
 * docs/card-protocol.md with an erased flash would:
 *   "card count"             "N lines run on this connection", N the lines
 *                            SCREEN_SendDynamicCmd took on the handle
 *   "card status"            "N lines run"
 *   "file read_raw ADDR LEN" LEN (at most CSDK_ANSWER_MAX) bytes of 0xFF
 *   anything else            an empty answer */
#define _GNU_SOURCE
#include "csdk/csdk.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#define MAX_CLIENTS 16

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static char addresses[MAX_CLIENTS + 1][300];
static long lines_sent[MAX_CLIENTS + 1];
static int clients;

static void put_quoted(FILE* f, const char* s, long n) {
    long i;
    fputc('"', f);
    for (i = 0; i < n; i++) {
        const unsigned char c = (unsigned char)s[i];
        if (c == '\\' || c == '"')
            fprintf(f, "\\%c", c);
        else if (c == '\n')
            fputs("\\n", f);
        else if (c < 0x20 || c >= 0x7f)
            fprintf(f, "\\x%02x", c);
        else
            fputc(c, f);
    }
    fputc('"', f);
}

/* Opens the log for one line, under lock; NULL when there is none. The line
 * starts with the call's name and the thread it came from. */
static FILE* begin(const char* name) {
    const char* path = getenv("CSDK_LOG_FILE");
    FILE* f;
    if (!path || !*path) return NULL;
    f = fopen(path, "a");
    if (!f) return NULL;
    fprintf(f, "%s %s", name, (long)syscall(SYS_gettid) == (long)getpid() ? "main" : "thread");
    return f;
}

static void end(FILE* f) {
    if (!f) return;
    fputc('\n', f);
    fclose(f);
}

static int known(int32_t client) { return client >= 1 && client <= clients; }

int32_t InitSdk(int32_t a, int32_t b) {
    FILE* f;
    pthread_mutex_lock(&lock);
    if ((f = begin("InitSdk"))) fprintf(f, " %d %d", (int)a, (int)b);
    end(f);
    pthread_mutex_unlock(&lock);
    return CSDK_OK;
}

int32_t CreateClient(const char* remote_ip, int32_t port, int32_t a, int32_t b, int32_t c, int32_t d) {
    FILE* f;
    int32_t handle = 0;
    pthread_mutex_lock(&lock);
    if ((f = begin("CreateClient"))) {
        fputc(' ', f);
        put_quoted(f, remote_ip ? remote_ip : "", remote_ip ? (long)strlen(remote_ip) : 0);
        fprintf(f, " %d %d %d %d %d", (int)port, (int)a, (int)b, (int)c, (int)d);
    }
    end(f);
    if (remote_ip && *remote_ip && clients < MAX_CLIENTS) {
        handle = ++clients;
        if (strchr(remote_ip, ':'))
            snprintf(addresses[handle], sizeof addresses[handle], "%s", remote_ip);
        else
            snprintf(addresses[handle], sizeof addresses[handle], "%s:%d", remote_ip, (int)port);
        lines_sent[handle] = 0;
    }
    pthread_mutex_unlock(&lock);
    return handle;
}

int32_t CARD_Get_Info_Cmd(int32_t client, const char* command, int32_t length, uint8_t* answer,
                          int32_t* received) {
    FILE* f;
    char text[CSDK_ANSWER_MAX + 1];
    unsigned long addr = 0;
    int len = 0, n = 0;
    int32_t r = CSDK_OK;
    pthread_mutex_lock(&lock);
    if ((f = begin("CARD_Get_Info_Cmd"))) {
        fprintf(f, " %d %d ", (int)client, (int)length);
        put_quoted(f, command ? command : "", command && length > 0 ? length : 0);
    }
    end(f);
    if (received) *received = 0;
    if (!known(client))
        r = CSDK_E_HANDLE;
    else if (!command || !answer || !received || length < 0 || length > CSDK_ANSWER_MAX)
        r = CSDK_E_ARGUMENT;
    else {
        memcpy(text, command, (size_t)length);
        text[length] = '\0';
        if (strncmp(text, "card count", 10) == 0 && strspn(text + 10, " \n") == strlen(text + 10))
            n = snprintf((char*)answer, CSDK_ANSWER_MAX, "%ld lines run on this connection", lines_sent[client]);
        else if (strncmp(text, "card status", 11) == 0)
            n = snprintf((char*)answer, CSDK_ANSWER_MAX, "%ld lines run", lines_sent[client]);
        else if (sscanf(text, "file read_raw %li %d", (long*)&addr, &len) == 2 && len >= 0) {
            n = len < CSDK_ANSWER_MAX ? len : CSDK_ANSWER_MAX;
            memset(answer, 0xff, (size_t)n);
        }
        *received = n;
    }
    pthread_mutex_unlock(&lock);
    return r;
}

int32_t SCREEN_SendDynamicCmd(int32_t client, int32_t tag, int32_t length, const char* line) {
    FILE* f;
    int32_t r = CSDK_OK;
    pthread_mutex_lock(&lock);
    if ((f = begin("SCREEN_SendDynamicCmd"))) {
        fprintf(f, " %d %d %d ", (int)client, (int)tag, (int)length);
        put_quoted(f, line ? line : "", line && length > 0 ? length : 0);
    }
    end(f);
    if (!known(client))
        r = CSDK_E_HANDLE;
    else if (!line || length < 0 || length > 65536)
        r = CSDK_E_ARGUMENT;
    else
        lines_sent[client]++;
    pthread_mutex_unlock(&lock);
    return r;
}

const char* CSDK_LastError(int32_t client) {
    FILE* f;
    pthread_mutex_lock(&lock);
    if ((f = begin("CSDK_LastError"))) fprintf(f, " %d", (int)client);
    end(f);
    pthread_mutex_unlock(&lock);
    return known(client) ? "" : "no such handle";
}

const char* CSDK_Address(int32_t client) {
    FILE* f;
    const char* a;
    pthread_mutex_lock(&lock);
    if ((f = begin("CSDK_Address"))) fprintf(f, " %d", (int)client);
    end(f);
    a = known(client) ? addresses[client] : "";
    pthread_mutex_unlock(&lock);
    return a;
}

void CSDK_Reset(void) {
    FILE* f;
    pthread_mutex_lock(&lock);
    if ((f = begin("CSDK_Reset"))) end(f);
    clients = 0;
    pthread_mutex_unlock(&lock);
}
