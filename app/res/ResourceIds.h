/* Identifiers shared by the resource script and the code. */
#ifndef KESTREL_RESOURCE_IDS_H
#define KESTREL_RESOURCE_IDS_H

/* The window's own icon has a number, not a name: an image lists its named icon groups first,
   and the shell shows the first one as the program's icon, which must be MAINICON. */
#define FORM_ICON_ID 2

#endif
