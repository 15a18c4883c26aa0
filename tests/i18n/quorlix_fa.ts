<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fa_IR" sourcelanguage="en_US">
<context>
    <name>TranslationProbe</name>
    <message>
        <source>Connect</source>
        <translation>اتصال</translation>
    </message>
</context>
</TS>
