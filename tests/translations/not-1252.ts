<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="en_US">
<context>
    <name>StringTable</name>
    <message>
        <source>Select the model and port to program</source>
        <translation>Выберите модель и порт</translation>
    </message>
</context>
</TS>
