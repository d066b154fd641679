/* The RT_RCDATA resource of InstaladorHalden.exe that holds the uninstaller, the program
   DesinstalarKestrel.exe as the build made it (and signed it, in a signed site build). The
   build's resource script (cmake/resources.cmake) and tasks/Uninstaller.cpp both take the
   number from here; it lies outside the payload's rows 1 to 82. C, for the resource compiler. */
#ifndef KESTREL_UNINSTALLER_RESOURCE_H
#define KESTREL_UNINSTALLER_RESOURCE_H

#define KESTREL_UNINSTALLER_RESOURCE 100

#endif
