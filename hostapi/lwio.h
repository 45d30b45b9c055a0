/* Scene-file state records handed to a plug-in's load and save callbacks.
 * Every function takes the record's own context (readData or writeData)
 * first. The host owns the records; they live for one callback. Binary
 * integers are big-endian; the I4 and U4 functions carry 4-byte values. */
#ifndef KORV_HOSTAPI_LWIO_H
#define KORV_HOSTAPI_LWIO_H

#include "lwtypes.h"

#define LWIO_OBJECT 0
#define LWIO_SCENE 1
#define LWIO_BINARY 0
#define LWIO_ASCII 1

/* A block identifier; a list of them ends with an entry whose id is 0. */
typedef struct st_LWBlockIdent {
  LWID id;
  const char *token;
} LWBlockIdent;

/* Reads return the number of values delivered: fewer at the end of a block
 * or of the data, never reading past either. findBlk returns the id of the
 * next block when it is in the list given, else 0; every findBlk, found or
 * not, is closed by one endBlk, which leaves the current block, skipping what
 * was not read. readStr returns the length read (the text cut to the buffer,
 * always terminated), or a negative value when no text is next. */
typedef struct st_LWLoadState {
  int ioMode;
  void *readData;
  int (*read)(void *readData, char *buffer, int count);
  int (*readI1)(void *readData, char *values, int count);
  int (*readI2)(void *readData, short *values, int count);
  int (*readI4)(void *readData, int32_t *values, int count);
  int (*readU1)(void *readData, unsigned char *values, int count);
  int (*readU2)(void *readData, unsigned short *values, int count);
  int (*readU4)(void *readData, uint32_t *values, int count);
  int (*readFP)(void *readData, float *values, int count);
  int (*readStr)(void *readData, char *buffer, int bufferSize);
  LWID (*readID)(void *readData, const LWBlockIdent *list);
  LWID (*findBlk)(void *readData, const LWBlockIdent *list);
  void (*endBlk)(void *readData);
  int (*depth)(void *readData);
} LWLoadState;

typedef struct st_LWSaveState {
  int ioMode;
  void *writeData;
  void (*write)(void *writeData, const char *buffer, int count);
  void (*writeI1)(void *writeData, const char *values, int count);
  void (*writeI2)(void *writeData, const short *values, int count);
  void (*writeI4)(void *writeData, const int32_t *values, int count);
  void (*writeU1)(void *writeData, const unsigned char *values, int count);
  void (*writeU2)(void *writeData, const unsigned short *values, int count);
  void (*writeU4)(void *writeData, const uint32_t *values, int count);
  void (*writeFP)(void *writeData, const float *values, int count);
  void (*writeStr)(void *writeData, const char *text);
  void (*writeID)(void *writeData, const LWBlockIdent *block);
  void (*beginBlk)(void *writeData, const LWBlockIdent *block, int leaf);
  void (*endBlk)(void *writeData);
  int (*depth)(void *writeData);
} LWSaveState;

#endif
