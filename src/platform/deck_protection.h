// Password-protected decks, found before LibreOffice is asked to open them
// (headless, it can only say that it could not load the file). The
// containers are read with libgsf: an OLE2 compound file holding an
// EncryptedPackage stream (an encrypted .pptx or .ppsx, ECMA-376 agile or
// standard encryption), a PowerPoint 97 file whose "Current User" stream
// carries the encrypted-document token or whose document stream holds an
// encryption record (RC4 or CryptoAPI), and an ODF package whose manifest
// describes encryption-data.
#pragma once

#include <filesystem>

namespace quillet {

// True when the deck cannot be opened without its password. A file that is
// neither container, or that libgsf cannot read, is not called protected:
// LibreOffice then gives its own verdict.
bool IsPasswordProtected(const std::filesystem::path& deck);

}  // namespace quillet
