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

typedef struct st_LWXPanel *LWXPanelID;

/* A hint word: a tag, a number or a text pointer, all pointer-sized. */
typedef void *LWXPanelHint;

/* One control row; a row of zeros ends a table. */
typedef struct st_LWXPanelControl {
  unsigned long cid;
  const char *label;
  const char *ctrlclass;
} LWXPanelControl;

/* One data-description row; a row of zeros ends a table. */
typedef struct st_LWXPanelDataDesc {
  unsigned long vid;
  const char *name;
  const char *datatype;
} LWXPanelDataDesc;

/* Get returns the address of the value of an id (null for none); set stores
 * the value at the address given and returns non-zero when it did. */
typedef void *LWXPanelGetFunc(void *inst, unsigned long vid);
typedef int LWXPanelSetFunc(void *inst, unsigned long vid, void *value);

/* The XPanel service. The host owns every panel it creates. */
typedef struct st_LWXPanelFuncs {
  int version;
  LWXPanelID (*create)(int type, LWXPanelControl *controls);
  void (*destroy)(LWXPanelID panel);
  void (*describe)(LWXPanelID panel, LWXPanelDataDesc *data, LWXPanelGetFunc *get,
                   LWXPanelSetFunc *set);
  void (*hint)(LWXPanelID panel, unsigned long id, LWXPanelHint *hints);
  void (*viewInst)(LWXPanelID panel, void *inst);
  void (*setData)(LWXPanelID panel, unsigned long id, void *data);
} LWXPanelFuncs;

/* The record a ShaderInterface activation fills for one instance. */
typedef struct st_LWInterface {
  LWInstance inst;
  LWXPanelID panel;
  LWError (*options)(LWInstance inst);
  LWError (*command)(LWInstance inst, const char *command);
} LWInterface;

#endif
