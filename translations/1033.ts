<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ICameraButton</name>
    <message>
        <source>Connected</source>
        <translation>Connected</translation>
    </message>
</context>
<context>
    <name>IConfigureService</name>
    <message>
        <source>Lumivo</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ITitleWidget</name>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>on</source>
        <translation>on</translation>
    </message>
    <message>
        <source>off</source>
        <translation>off</translation>
    </message>
</context>
</TS>
