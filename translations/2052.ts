<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>IConfigureService</name>
    <message>
        <source>Lumivo</source>
        <translation>Lumivo 摄像头</translation>
    </message>
</context>
</TS>
