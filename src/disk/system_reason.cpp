// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/system_reason.h"

#include <cerrno>
#include <cstring>

#include "disk/text.h"

namespace korvelo {

namespace {

struct Reason {
  int error;
  const char* text;
};

constexpr Reason kReasons[] = {
    {EPERM, "Vorgang nicht erlaubt"},
    {ENOENT, "Datei oder Ordner gibt es nicht"},
    {EINTR, "Unterbrochen"},
    {EIO, "Ein-/Ausgabefehler"},
    {ENXIO, "Gerät oder Adresse gibt es nicht"},
    {EBADF, "Ungültiger Dateideskriptor"},
    {EAGAIN, "Vorübergehend nicht verfügbar"},
    {ENOMEM, "Nicht genug Arbeitsspeicher"},
    {EACCES, "Keine Berechtigung"},
    {EBUSY, "Gerät oder Datei ist belegt"},
    {EEXIST, "Datei gibt es schon"},
    {EXDEV, "Verweis über Dateisystemgrenzen hinweg"},
    {ENODEV, "Gerät gibt es nicht"},
    {ENOTDIR, "Ein Teil des Pfads ist kein Ordner"},
    {EISDIR, "Ist ein Ordner"},
    {EINVAL, "Ungültiges Argument"},
    {ENFILE, "Zu viele offene Dateien im System"},
    {EMFILE, "Zu viele offene Dateien"},
    {ETXTBSY, "Datei wird gerade ausgeführt"},
    {EFBIG, "Datei zu groß"},
    {ENOSPC, "Kein Platz mehr auf dem Gerät"},
    {ESPIPE, "Unzulässiges Positionieren"},
    {EROFS, "Nur lesbares Dateisystem"},
    {EMLINK, "Zu viele Verweise"},
    {EPIPE, "Gegenseite geschlossen"},
    {ENAMETOOLONG, "Dateiname zu lang"},
    {ENOTEMPTY, "Ordner ist nicht leer"},
    {ELOOP, "Zu viele Ebenen symbolischer Verweise"},
    {ENOTSUP, "Vorgang nicht unterstützt"},
    {ETIMEDOUT, "Zeitüberschreitung"},
    {ESTALE, "Veraltete Dateizugriffsnummer (NFS)"},
    {EDQUOT, "Speicherkontingent überschritten"},
    {ENOMEDIUM, "Kein Medium gefunden"},
    {EMEDIUMTYPE, "Falscher Medientyp"},
    {ENOLCK, "Keine Sperren verfügbar"},
    {ENOSYS, "Funktion nicht implementiert"},
    {EOVERFLOW, "Wert zu groß für den Datentyp"},
    {ENOTCONN, "Verbindung getrennt"},
    {ECANCELED, "Vorgang abgebrochen"},
};

}  // namespace

std::string systemReason(int error) {
  for (const Reason& reason : kReasons)
    if (reason.error == error) return reason.text;
  const char* name = ::strerrorname_np(error);
  return name ? textf("Systemfehler %d (%s)", error, name) : textf("Systemfehler %d", error);
}

}  // namespace korvelo
