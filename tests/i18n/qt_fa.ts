<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- Stands in for Qt's own Persian catalogue beside the executable; its
     texts differ from Qt's shipped ones so a test can tell which was loaded. -->
<TS version="2.1" language="fa_IR" sourcelanguage="en_US">
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>Cancel</source>
        <translation>انصراف از کنار برنامه</translation>
    </message>
</context>
<context>
    <name>TranslationProbe</name>
    <message>
        <source>Connect</source>
        <translation>وصل شو</translation>
    </message>
</context>
</TS>
