// A program image written again without some of its resources: the installer keeps a copy of
// itself without the payload it carries, as its uninstaller.
#pragma once
#include <string>

// Writes to `to` (replacing a file there, through WriteFileReplacing) the PE image `from`
// without its RT_RCDATA resources whose integer identifiers lie in [firstId, lastId]; every
// other resource (icons, version, manifest, named data) stays. The resource section is built
// anew in its place, the sections after it (the base relocations) move down with it, and the
// header's sizes and checksum follow; an appended signature or overlay is dropped. An image
// without resources is copied as it is. Raises when `from` cannot be read or is no image this
// function knows how to rewrite.
void WriteImageWithoutResources(const std::string& from, const std::string& to, int firstId,
                                int lastId);
