/* Our library for the controller card: the four calls the editor makes to
 * reach a card, over TCP, and three more for messages and tests. The
 * wire format is in docs/card-protocol.md.
 *
 * Every call returns 0 on success or a negative CSDK_E_* code; none raises
 * a signal, none blocks longer than about one second (connect and answer
 * time-outs of at most 1000 ms each). Calls on one handle may come from any
 * thread; they are serialised per handle. */
#ifndef CSDK_H
#define CSDK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CSDK_OK 0
#define CSDK_E_HANDLE (-1)    /* handle 0 or unknown: nothing is sent */
#define CSDK_E_CONNECT (-2)   /* the card could not be reached */
#define CSDK_E_TIMEOUT (-3)   /* the card did not answer in time */
#define CSDK_E_CLOSED (-4)    /* the card closed the connection */
#define CSDK_E_BACKOFF (-5)   /* an earlier failure: not retried yet */
#define CSDK_E_ARGUMENT (-6)  /* a length or pointer out of range */
#define CSDK_E_PROTOCOL (-7)  /* an answer that is not one */

/* Port of a card when CreateClient's remote_ip does not name one. */
#define CSDK_DEFAULT_PORT 1002
/* Size of the receive buffer CARD_Get_Info_Cmd fills. */
#define CSDK_ANSWER_MAX 1024

/* Starts the library; a and b are accepted and not used. Returns 0. */
int32_t InitSdk(int32_t a, int32_t b);

/* A handle (> 0) for the card at remote_ip ("127.0.0.1", or with a port of
 * its own: "127.0.0.1:11002") and port. Nothing is connected yet: the first
 * call connects. The other four numbers are accepted and not used. Returns
 * 0 when no handle can be made (a bad address, too many handles). */
int32_t CreateClient(const char* remote_ip, int32_t port, int32_t a, int32_t b, int32_t c, int32_t d);

/* Sends command (length bytes) and waits for the card's answer: at most
 * CSDK_ANSWER_MAX bytes into answer, their number into *received. On any
 * failure *received is 0. A connection the card has closed since the last
 * call (an idle one) is opened again first, without a failure. */
int32_t CARD_Get_Info_Cmd(int32_t client, const char* command, int32_t length, uint8_t* answer,
                          int32_t* received);

/* Delivers one command line (length bytes) with a tag; no answer is read. */
int32_t SCREEN_SendDynamicCmd(int32_t client, int32_t tag, int32_t length, const char* line);

/* Why the last call on client failed, as a short
 * text ("connection refused", "no answer within 1000 ms"); "" after a
 * success. The text is copied under the handle's lock into a buffer of the
 * calling thread: it stays as it is until the same thread calls
 * CSDK_LastError again, whatever other calls on the handle do meanwhile. */
const char* CSDK_LastError(int32_t client);

/* The address the handle talks to, as "ip:port". */
const char* CSDK_Address(int32_t client);

/* For tests: every handle closed and forgotten, back-off cleared. */
void CSDK_Reset(void);

#ifdef __cplusplus
}
#endif

#endif
