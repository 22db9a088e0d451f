// Made by scripts/editor-files from what zel2clock.so reports; do not edit.
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('Clock')
    keywords: qsTr('clock time timer timecode counter date analog digital led') + ' zel2clock'
    mlt_service: 'frei0r.zel2clock'
    qml: 'ui.qml'
    vui: 'vui.qml'
    isGpuCompatible: false

    keyframes {
        allowAnimateIn: true
        allowAnimateOut: true
        simpleProperties: ['X', 'Y', 'Size', 'Foreground Opacity', 'Background Opacity']
        parameters: [
            Parameter {
                name: qsTr('X')
                property: 'X'
                isCurve: true
                minimum: 0
                maximum: 1
            },
            Parameter {
                name: qsTr('Y')
                property: 'Y'
                isCurve: true
                minimum: 0
                maximum: 1
            },
            Parameter {
                name: qsTr('Size')
                property: 'Size'
                isCurve: true
                minimum: 0
                maximum: 1
            },
            Parameter {
                name: qsTr('Foreground Opacity')
                property: 'Foreground Opacity'
                isCurve: true
                minimum: 0
                maximum: 1
            },
            Parameter {
                name: qsTr('Background Opacity')
                property: 'Background Opacity'
                isCurve: true
                minimum: 0
                maximum: 1
            }
        ]
    }
}
