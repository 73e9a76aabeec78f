<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>CMainDlg</name>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>ZERVIKO Firmware Loader
Version %1
Tarno Corp.</source>
        <translation>ZERVIKO Firmware-Loader
Version %1
Tarno Corp.</translation>
    </message>
    <message>
        <source>ZERVIKO Firmware Loader %1
Status.log is kept in
%2</source>
        <translation>ZERVIKO Firmware-Loader %1
Status.log liegt in
%2</translation>
    </message>
</context>
<context>
    <name>CMessageDialog</name>
    <message>
        <source>Updating Firmware...</source>
        <translation>Firmware wird aktualisiert...</translation>
    </message>
    <message>
        <source>Do not press any printer keys or disconnect power while the unit is being programmed as this will damage the printer!</source>
        <translation>Drücken Sie keine Druckertaste und trennen Sie nicht den Strom, solange das Gerät programmiert wird, sonst wird der Drucker beschädigt!</translation>
    </message>
</context>
<context>
    <name>CPageFileChooser</name>
    <message>
        <source>Programming the Zerviko</source>
        <translation>Programmierung des Zerviko</translation>
    </message>
</context>
<context>
    <name>CPagePrinterPort</name>
    <message>
        <source>Select the model and port to program</source>
        <translation>Modell und Anschluss zum Programmieren auswählen</translation>
    </message>
    <message>
        <source>ABC Layout</source>
        <translation>ABC-Layout</translation>
    </message>
    <message>
        <source>Keyboard Layout</source>
        <translation>Tastatur-Layout</translation>
    </message>
    <message>
        <source>Select a port</source>
        <translation>Anschluss auswählen</translation>
    </message>
</context>
<context>
    <name>CPageProgram</name>
    <message>
        <source>Programming the Zerviko</source>
        <translation>Programmierung des Zerviko</translation>
    </message>
    <message>
        <source>Static</source>
        <translation>Static</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Programmieren</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>Select the model and port to program</source>
        <translation>Modell und Anschluss zum Programmieren auswählen</translation>
    </message>
    <message>
        <source>Select a port</source>
        <translation>Anschluss auswählen</translation>
    </message>
    <message>
        <source>No file selected.

Please select a file.</source>
        <translation>Es ist keine Datei ausgewählt.

Bitte wählen Sie eine Datei aus.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Firmware has been successfully loaded.</source>
        <translation>Die Firmware wurde erfolgreich geladen.</translation>
    </message>
    <message>
        <source>Select the file to download</source>
        <translation>Zu übertragende Datei auswählen</translation>
    </message>
    <message>
        <source>Tarno ZERVIKO Firmware Loader</source>
        <translation>Tarno ZERVIKO Firmware-Loader</translation>
    </message>
    <message>
        <source>Programming the ZERVIKO - ABC Layout</source>
        <translation>Programmierung des ZERVIKO - ABC-Layout</translation>
    </message>
    <message>
        <source>The selected drive is unavailable.

Please select another drive.</source>
        <translation>Das ausgewählte Laufwerk ist nicht verfügbar.

Bitte wählen Sie ein anderes Laufwerk aus.</translation>
    </message>
    <message>
        <source>Programming the ZERVIKO - Keyboard Layout</source>
        <translation>Programmierung des ZERVIKO - Tastatur-Layout</translation>
    </message>
    <message>
        <source>The selected file is unavailable.

Please select another file.</source>
        <translation>Die ausgewählte Datei ist nicht verfügbar.

Bitte wählen Sie eine andere Datei aus.</translation>
    </message>
    <message>
        <source>The selected file is unusable.

Please select another file.</source>
        <translation>Die ausgewählte Datei kann nicht verwendet werden.

Bitte wählen Sie eine andere Datei aus.</translation>
    </message>
    <message>
        <source>File transfer error.

Programming terminated.</source>
        <translation>Fehler bei der Dateiübertragung.

Programmierung abgebrochen.</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Erfolgreich</translation>
    </message>
    <message>
        <source>The status log could not be written:

%1
%2

The log is incomplete; later runs are not written to it.</source>
        <translation>Das Statusprotokoll konnte nicht geschrieben werden:

%1
%2

Das Protokoll ist unvollständig; weitere Durchläufe werden nicht darin aufgezeichnet.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is held by another loader: this one keeps no status log.</source>
        <translation>„%1“ wird von einem anderen Loader verwendet: Dieser führt kein Statusprotokoll.</translation>
    </message>
    <message>
        <source>An invalid argument was encountered.</source>
        <translation>Es wurde ein ungültiges Argument festgestellt.</translation>
    </message>
</context>
</TS>
