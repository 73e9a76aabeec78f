<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES" sourcelanguage="en_US">
<context>
    <name>CMainDlg</name>
    <message>
        <source>Back</source>
        <translation>Atrás</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Siguiente</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>ZERVIKO Firmware Loader
Version %1
Tarno Corp.</source>
        <translation>Cargador ZERVIKO
Versión %1
Tarno Corp.</translation>
    </message>
    <message>
        <source>ZERVIKO Firmware Loader %1
Status.log is kept in
%2</source>
        <translation>Cargador ZERVIKO %1
Status.log se guarda en
%2</translation>
    </message>
</context>
<context>
    <name>CMessageDialog</name>
    <message>
        <source>Updating Firmware...</source>
        <translation>Actualizando el firmware...</translation>
    </message>
    <message>
        <source>Do not press any printer keys or disconnect power while the unit is being programmed as this will damage the printer!</source>
        <translation>¡No pulse ninguna tecla ni corte la alimentación mientras se programa la unidad, ya que esto dañaría la impresora!</translation>
    </message>
</context>
<context>
    <name>CPageFileChooser</name>
    <message>
        <source>Programming the Zerviko</source>
        <translation>Programación de la Zerviko</translation>
    </message>
</context>
<context>
    <name>CPagePrinterPort</name>
    <message>
        <source>Select the model and port to program</source>
        <translation>Seleccione el modelo y el puerto que desea programar</translation>
    </message>
    <message>
        <source>ABC Layout</source>
        <translation>Distribución ABC</translation>
    </message>
    <message>
        <source>Keyboard Layout</source>
        <translation>Distribución de teclado</translation>
    </message>
    <message>
        <source>Select a port</source>
        <translation>Seleccione un puerto</translation>
    </message>
</context>
<context>
    <name>CPageProgram</name>
    <message>
        <source>Programming the Zerviko</source>
        <translation>Programación de la Zerviko</translation>
    </message>
    <message>
        <source>Static</source>
        <translation>Static</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Programar</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>Select the model and port to program</source>
        <translation>Seleccione el modelo y el puerto que desea programar</translation>
    </message>
    <message>
        <source>Select a port</source>
        <translation>Seleccione un puerto</translation>
    </message>
    <message>
        <source>No file selected.

Please select a file.</source>
        <translation>No se ha seleccionado ningún archivo.

Seleccione un archivo.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Firmware has been successfully loaded.</source>
        <translation>El firmware se ha cargado correctamente.</translation>
    </message>
    <message>
        <source>Select the file to download</source>
        <translation>Seleccione el archivo que desea transferir</translation>
    </message>
    <message>
        <source>Tarno ZERVIKO Firmware Loader</source>
        <translation>Cargador de firmware Tarno ZERVIKO</translation>
    </message>
    <message>
        <source>Programming the ZERVIKO - ABC Layout</source>
        <translation>Programación de la ZERVIKO - Distribución ABC</translation>
    </message>
    <message>
        <source>The selected drive is unavailable.

Please select another drive.</source>
        <translation>La unidad seleccionada no está disponible.

Seleccione otra unidad.</translation>
    </message>
    <message>
        <source>Programming the ZERVIKO - Keyboard Layout</source>
        <translation>Programación de la ZERVIKO - Distribución de teclado</translation>
    </message>
    <message>
        <source>The selected file is unavailable.

Please select another file.</source>
        <translation>El archivo seleccionado no está disponible.

Seleccione otro archivo.</translation>
    </message>
    <message>
        <source>The selected file is unusable.

Please select another file.</source>
        <translation>El archivo seleccionado no se puede utilizar.

Seleccione otro archivo.</translation>
    </message>
    <message>
        <source>File transfer error.

Programming terminated.</source>
        <translation>Error en la transferencia del archivo.

Programación interrumpida.</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Operación correcta</translation>
    </message>
    <message>
        <source>The status log could not be written:

%1
%2

The log is incomplete; later runs are not written to it.</source>
        <translation>No se pudo escribir el registro de estado:

%1
%2

El registro está incompleto; las siguientes programaciones no se escribirán en él.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is held by another loader: this one keeps no status log.</source>
        <translation>&quot;%1&quot; está en uso por otro cargador: este no lleva ningún registro de estado.</translation>
    </message>
    <message>
        <source>An invalid argument was encountered.</source>
        <translation>Se ha encontrado un argumento no válido.</translation>
    </message>
</context>
</TS>
