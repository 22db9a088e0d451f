// The clock's rectangle on Shotcut's video: a square centred on "X" and "Y" whose side is "Size"
// percent of the frame's height, the outline of the analog clock (the text clocks are placed from
// its centre).
// Dragging it sets X and Y, resizing it sets Size, as keyframes where those numbers have them.
import QtQuick 2.12
import Shotcut.Controls 1.0 as Shotcut
import "parameters.js" as P

Shotcut.VuiBase {
    property real zoom: (video.zoom > 0) ? video.zoom : 1
    property bool blockUpdate: false

    function getPosition() {
        return Math.max(producer.position - (filter.in - producer.in), 0);
    }

    function shown(name, value) {
        var p = P.parameters[name];
        return p.minimum + value * (p.maximum - p.minimum);
    }

    function stored(name, value) {
        var p = P.parameters[name];
        return Math.min(1, Math.max(0, (value - p.minimum) / (p.maximum - p.minimum)));
    }

    // The square in profile pixels from the three numbers at the playhead.
    function square() {
        var position = getPosition();
        var side = shown('Size', filter.getDouble(P.parameters['Size'].name, position)) / 100 * profile.height;
        var x = shown('X', filter.getDouble(P.parameters['X'].name, position)) / 100 * profile.width;
        var y = shown('Y', filter.getDouble(P.parameters['Y'].name, position)) / 100 * profile.height;
        return Qt.rect(x - side / 2, y - side / 2, side, side);
    }

    function setRectangleControl() {
        if (blockUpdate)
            return ;

        rectangle.setHandles(square());
    }

    function setNumber(name, value) {
        if (filter.keyframeCount(name) > 0)
            filter.set(name, value, getPosition());
        else
            filter.set(name, value);
    }

    function updateFilter() {
        blockUpdate = true;
        var r = rectangle.rectangle;
        var x = (r.x + r.width / 2) / rectangle.widthScale;
        var y = (r.y + r.height / 2) / rectangle.heightScale;
        var side = r.height / rectangle.heightScale;
        setNumber(P.parameters['X'].name, stored('X', x / profile.width * 100));
        setNumber(P.parameters['Y'].name, stored('Y', y / profile.height * 100));
        setNumber(P.parameters['Size'].name, stored('Size', side / profile.height * 100));
        blockUpdate = false;
    }

    Component.onCompleted: {
        application.showStatusMessage(qsTr('Drag the square to move the clock, its corners to size it'));
        setRectangleControl();
    }

    Flickable {
        anchors.fill: parent
        interactive: false
        clip: true
        contentWidth: video.rect.width * zoom
        contentHeight: video.rect.height * zoom
        contentX: video.offset.x
        contentY: video.offset.y

        Item {
            id: videoItem

            x: video.rect.x
            y: video.rect.y
            width: video.rect.width
            height: video.rect.height
            scale: zoom

            Shotcut.RectangleControl {
                id: rectangle

                widthScale: video.rect.width / profile.width
                heightScale: video.rect.height / profile.height
                aspectRatio: widthScale / heightScale
                handleSize: Math.max(Math.round(8 / zoom), 4)
                borderSize: Math.max(Math.round(1.33 / zoom), 1)
                onWidthScaleChanged: setRectangleControl()
                onHeightScaleChanged: setRectangleControl()
                onRectChanged: updateFilter()
            }
        }
    }

    Connections {
        function onChanged() {
            setRectangleControl();
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            setRectangleControl();
        }

        target: producer
    }
}
