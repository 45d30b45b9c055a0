/* The interface class and the XPanel service: a panel the host draws from
 * declarative tables of controls, data descriptions and hints. */
#ifndef KORV_HOSTAPI_LWXPANEL_H
#define KORV_HOSTAPI_LWXPANEL_H

#include "lwtypes.h"

#define LWXPANELFUNCS_GLOBAL "LWXPanel"
#define LWINTERFACE_VERSION 4

/* Panel types. */
#define LWXP_VIEW 1
#define LWXP_FORM 2

/* Hint tags. The low seven bits of a tag count the fixed words that follow
 * it; with bit 0x80 set, a list of ids closed by a 0 word follows them. A 0
 * word where a tag is due ends the hint array. */
#define XPTAG_LABEL 0x3D000B03u
#define XPTAG_STRLIST 0x3D014503u
#define XPTAG_GROUP 0x3D01FE81u
#define XPTAG_ENABLE 0x3D01F984u
#define XPTAG_TABS 0x3D020A81u
#define XPTAG_MIN 0x3D014002u

typedef struct st_LWXPanel *LWXPanelID;
typedef struct st_LWXPDrArea *LWXPDrAreaID;

/* A hint word: a tag, a number or a text pointer, all pointer-sized; numbers
 * are zero-extended. */
typedef void *LWXPanelHint;

/* What a set callback asks the host to redraw. */
typedef enum en_LWXPRefreshCode {
  LWXPRF_NONE = 0,
  LWXPRF_DFLT = 1,
  LWXPRF_DRAW = 2,
  LWXPRF_FULL = 3
} LWXPRefreshCode;

/* One control row; a row of zeros ends a table. The host reads the table for
 * as long as the panel exists, so it must be static. */
typedef struct st_LWXPanelControl {
  uint32_t cid;
  const char *label;
  const char *ctrlclass;
} LWXPanelControl;

/* One data-description row; a row of zeros ends a table. Static, as above. */
typedef struct st_LWXPanelDataDesc {
  uint32_t vid;
  const char *name;
  const char *datatype;
} LWXPanelDataDesc;

/* Get returns the address of the value of an id (null for none); set stores
 * the value at the address given and says what to redraw (0: nothing was
 * stored). */
typedef void *LWXPanelGetFunc(void *inst, uint32_t vid);
typedef LWXPRefreshCode LWXPanelSetFunc(void *inst, uint32_t vid, void *value);

/* Drawing functions for custom controls. */
typedef struct st_LWXPDrawFuncs {
  void (*drawPixel)(LWXPDrAreaID area, int color, int x, int y);
  void (*drawRGBPixel)(LWXPDrAreaID area, int r, int g, int b, int x, int y);
  void (*drawLine)(LWXPDrAreaID area, int color, int x1, int y1, int x2, int y2);
  void (*drawBox)(LWXPDrAreaID area, int color, int x, int y, int w, int h);
  void (*drawRGBBox)(LWXPDrAreaID area, int r, int g, int b, int x, int y, int w, int h);
  void (*drawBorder)(LWXPDrAreaID area, int indent, int x, int y, int w, int h);
  int (*textWidth)(LWXPDrAreaID area, char *text);
  int (*textHeight)(LWXPDrAreaID area, char *text);
  void (*drawText)(LWXPDrAreaID area, char *text, int color, int x, int y);
} LWXPDrawFuncs;

/* The XPanel service. The host owns every panel it creates. Hints may be
 * applied only while the panel is closed. */
typedef struct st_LWXPanelFuncs {
  int version;
  LWXPDrawFuncs *drawf;
  LWXPanelID (*create)(int type, LWXPanelControl *controls);
  void (*destroy)(LWXPanelID panel);
  void (*describe)(LWXPanelID panel, LWXPanelDataDesc *data, LWXPanelGetFunc *get,
                   LWXPanelSetFunc *set);
  void (*hint)(LWXPanelID panel, uint32_t id, LWXPanelHint *hints);
  void *(*getData)(LWXPanelID panel, uint32_t id);
  void (*setData)(LWXPanelID panel, uint32_t id, void *data);
  void *(*formGet)(LWXPanelID panel, uint32_t cid);
  void (*formSet)(LWXPanelID panel, uint32_t cid, void *value);
  void (*viewInst)(LWXPanelID panel, void *inst);
  void (*viewRefresh)(LWXPanelID panel);
  int (*post)(LWXPanelID panel);
  int (*open)(LWXPanelID panel);
} LWXPanelFuncs;

/* The record a ShaderInterface activation fills for one instance. A view
 * panel returned in panel appears inline in the host's surface editor. */
typedef struct st_LWInterface {
  LWInstance inst;
  LWXPanelID panel;
  LWError (*options)(LWInstance inst);
  LWError (*command)(LWInstance inst, const char *command);
} LWInterface;

#endif
