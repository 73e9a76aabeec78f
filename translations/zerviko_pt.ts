<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR" sourcelanguage="en_US">
<context>
    <name>CMainDlg</name>
    <message>
        <source>Back</source>
        <translation>Voltar</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Avançar</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Sair</translation>
    </message>
    <message>
        <source>ZERVIKO Firmware Loader
Version %1
Tarno Corp.</source>
        <translation>Carregador ZERVIKO
Versão %1
Tarno Corp.</translation>
    </message>
    <message>
        <source>ZERVIKO Firmware Loader %1
Status.log is kept in
%2</source>
        <translation>Carregador ZERVIKO %1
Status.log fica em
%2</translation>
    </message>
</context>
<context>
    <name>CMessageDialog</name>
    <message>
        <source>Updating Firmware...</source>
        <translation>Atualizando o firmware...</translation>
    </message>
    <message>
        <source>Do not press any printer keys or disconnect power while the unit is being programmed as this will damage the printer!</source>
        <translation>Não pressione nenhuma tecla da impressora nem desligue a energia durante a programação, pois isso danificará a impressora!</translation>
    </message>
</context>
<context>
    <name>CPageFileChooser</name>
    <message>
        <source>Programming the Zerviko</source>
        <translation>Programação da Zerviko</translation>
    </message>
</context>
<context>
    <name>CPagePrinterPort</name>
    <message>
        <source>Select the model and port to program</source>
        <translation>Selecione o modelo e a porta para a programação</translation>
    </message>
    <message>
        <source>ABC Layout</source>
        <translation>Layout ABC</translation>
    </message>
    <message>
        <source>Keyboard Layout</source>
        <translation>Layout de teclado</translation>
    </message>
    <message>
        <source>Select a port</source>
        <translation>Selecione uma porta</translation>
    </message>
</context>
<context>
    <name>CPageProgram</name>
    <message>
        <source>Programming the Zerviko</source>
        <translation>Programação da Zerviko</translation>
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
        <translation>Selecione o modelo e a porta para a programação</translation>
    </message>
    <message>
        <source>Select a port</source>
        <translation>Selecione uma porta</translation>
    </message>
    <message>
        <source>No file selected.

Please select a file.</source>
        <translation>Nenhum arquivo selecionado.

Selecione um arquivo.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erro</translation>
    </message>
    <message>
        <source>Firmware has been successfully loaded.</source>
        <translation>O firmware foi carregado com sucesso.</translation>
    </message>
    <message>
        <source>Select the file to download</source>
        <translation>Selecione o arquivo a ser transferido</translation>
    </message>
    <message>
        <source>Tarno ZERVIKO Firmware Loader</source>
        <translation>Carregador de firmware Tarno ZERVIKO</translation>
    </message>
    <message>
        <source>Programming the ZERVIKO - ABC Layout</source>
        <translation>Programação da ZERVIKO - Layout ABC</translation>
    </message>
    <message>
        <source>The selected drive is unavailable.

Please select another drive.</source>
        <translation>A unidade selecionada não está disponível.

Selecione outra unidade.</translation>
    </message>
    <message>
        <source>Programming the ZERVIKO - Keyboard Layout</source>
        <translation>Programação da ZERVIKO - Layout de teclado</translation>
    </message>
    <message>
        <source>The selected file is unavailable.

Please select another file.</source>
        <translation>O arquivo selecionado não está disponível.

Selecione outro arquivo.</translation>
    </message>
    <message>
        <source>The selected file is unusable.

Please select another file.</source>
        <translation>O arquivo selecionado não pode ser utilizado.

Selecione outro arquivo.</translation>
    </message>
    <message>
        <source>File transfer error.

Programming terminated.</source>
        <translation>Erro na transferência do arquivo.

Programação interrompida.</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Sucesso</translation>
    </message>
    <message>
        <source>The status log could not be written:

%1
%2

The log is incomplete; later runs are not written to it.</source>
        <translation>Não foi possível gravar o registro de status:

%1
%2

O registro está incompleto; as próximas programações não serão gravadas nele.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is held by another loader: this one keeps no status log.</source>
        <translation>&quot;%1&quot; está em uso por outro carregador: este não mantém registro de status.</translation>
    </message>
    <message>
        <source>An invalid argument was encountered.</source>
        <translation>Foi encontrado um argumento inválido.</translation>
    </message>
</context>
</TS>
