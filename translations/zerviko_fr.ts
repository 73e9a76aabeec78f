<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="en_US">
<context>
    <name>CMainDlg</name>
    <message>
        <source>Back</source>
        <translation>Précédent</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>ZERVIKO Firmware Loader
Version %1
Tarno Corp.</source>
        <translation>Chargeur ZERVIKO
Version %1
Tarno Corp.</translation>
    </message>
    <message>
        <source>ZERVIKO Firmware Loader %1
Status.log is kept in
%2</source>
        <translation>Chargeur ZERVIKO %1
Status.log se trouve dans
%2</translation>
    </message>
</context>
<context>
    <name>CMessageDialog</name>
    <message>
        <source>Updating Firmware...</source>
        <translation>Mise à jour du micrologiciel...</translation>
    </message>
    <message>
        <source>Do not press any printer keys or disconnect power while the unit is being programmed as this will damage the printer!</source>
        <translation>N&apos;appuyez sur aucune touche et ne coupez pas l&apos;alimentation pendant la programmation&#xa0;: l&apos;imprimante serait endommagée&#xa0;!</translation>
    </message>
</context>
<context>
    <name>CPageFileChooser</name>
    <message>
        <source>Programming the Zerviko</source>
        <translation>Programmation de la Zerviko</translation>
    </message>
</context>
<context>
    <name>CPagePrinterPort</name>
    <message>
        <source>Select the model and port to program</source>
        <translation>Sélectionnez le modèle et le port à programmer</translation>
    </message>
    <message>
        <source>ABC Layout</source>
        <translation>Disposition ABC</translation>
    </message>
    <message>
        <source>Keyboard Layout</source>
        <translation>Disposition clavier</translation>
    </message>
    <message>
        <source>Select a port</source>
        <translation>Sélectionnez un port</translation>
    </message>
</context>
<context>
    <name>CPageProgram</name>
    <message>
        <source>Programming the Zerviko</source>
        <translation>Programmation de la Zerviko</translation>
    </message>
    <message>
        <source>Static</source>
        <translation>Static</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Programmer</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>Select the model and port to program</source>
        <translation>Sélectionnez le modèle et le port à programmer</translation>
    </message>
    <message>
        <source>Select a port</source>
        <translation>Sélectionnez un port</translation>
    </message>
    <message>
        <source>No file selected.

Please select a file.</source>
        <translation>Aucun fichier n&apos;est sélectionné.

Veuillez sélectionner un fichier.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Firmware has been successfully loaded.</source>
        <translation>Le micrologiciel a été chargé avec succès.</translation>
    </message>
    <message>
        <source>Select the file to download</source>
        <translation>Sélectionnez le fichier à transférer</translation>
    </message>
    <message>
        <source>Tarno ZERVIKO Firmware Loader</source>
        <translation>Chargeur de micrologiciel Tarno ZERVIKO</translation>
    </message>
    <message>
        <source>Programming the ZERVIKO - ABC Layout</source>
        <translation>Programmation de la ZERVIKO - Disposition ABC</translation>
    </message>
    <message>
        <source>The selected drive is unavailable.

Please select another drive.</source>
        <translation>Le lecteur sélectionné n&apos;est pas disponible.

Veuillez sélectionner un autre lecteur.</translation>
    </message>
    <message>
        <source>Programming the ZERVIKO - Keyboard Layout</source>
        <translation>Programmation de la ZERVIKO - Disposition clavier</translation>
    </message>
    <message>
        <source>The selected file is unavailable.

Please select another file.</source>
        <translation>Le fichier sélectionné n&apos;est pas disponible.

Veuillez sélectionner un autre fichier.</translation>
    </message>
    <message>
        <source>The selected file is unusable.

Please select another file.</source>
        <translation>Le fichier sélectionné est inutilisable.

Veuillez sélectionner un autre fichier.</translation>
    </message>
    <message>
        <source>File transfer error.

Programming terminated.</source>
        <translation>Erreur de transfert du fichier.

Programmation interrompue.</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Opération réussie</translation>
    </message>
    <message>
        <source>The status log could not be written:

%1
%2

The log is incomplete; later runs are not written to it.</source>
        <translation>Le journal d&apos;état n&apos;a pas pu être écrit&#xa0;:

%1
%2

Le journal est incomplet&#xa0;; les programmations suivantes n&apos;y sont pas écrites.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is held by another loader: this one keeps no status log.</source>
        <translation>«&#xa0;%1&#xa0;» est utilisé par un autre chargeur&#xa0;: celui-ci ne tient aucun journal d&apos;état.</translation>
    </message>
    <message>
        <source>An invalid argument was encountered.</source>
        <translation>Un argument non valide a été rencontré.</translation>
    </message>
</context>
</TS>
