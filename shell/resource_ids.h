/* The program's resource ids, shared by the resource scripts and the code
   (plain defines: the resource compiler reads this file too). */
#ifndef ZUDEDO_SHELL_RESOURCE_IDS_H
#define ZUDEDO_SHELL_RESOURCE_IDS_H

#define IDI_APP 107              /* ICON: the window and task bar icon */
#define IDI_TRAY_SIGNED_OUT 129  /* ICON: notification area, signed out */
#define IDI_TRAY_SIGNED_IN 130   /* ICON: notification area, signed in */
#define IDR_SKIN_ARCHIVE 131     /* ZIPRES: the packed skin folder */
#define IDR_OFFLINE_HTML 132     /* 23 (HTML): the page shown without the service */
#define IDR_OFFLINE_PNG 133      /* PNG: its picture, "res:/PNG/#133" in the page */
#define IDR_NOTIFY_SOUND 134     /* WAVE: the notification sound */

#endif
