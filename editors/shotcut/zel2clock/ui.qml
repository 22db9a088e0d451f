// Shotcut's panel for the clock (the frei0r module zel2clock.so). Names, ranges, lists and defaults
// come from parameters.js, which scripts/editor-files makes from what the module reports; frei0r
// numbers are stored as 0..1 over a parameter's range and shown in the parameter's own unit.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut
import "parameters.js" as P

Shotcut.KeyframableFilter {
    id: panel

    // The numbers that take keyframes, in panel order, with their sliders and keyframe buttons.
    property var sliders: [xSlider, ySlider, sizeSlider, foregroundOpacitySlider, backgroundOpacitySlider]
    property var keyframeButtons: [xKeyframes, yKeyframes, sizeKeyframes, foregroundOpacityKeyframes, backgroundOpacityKeyframes]

    function param(name) {
        return P.parameters[name];
    }

    function stored(name, shown) {
        var p = param(name);
        return (shown - p.minimum) / (p.maximum - p.minimum);
    }

    function shown(name, value) {
        var p = param(name);
        return p.minimum + value * (p.maximum - p.minimum);
    }

    // Every parameter the filter does not have yet gets the module's default, so that the
    // simple keyframes (fade in and out) start from the values the module draws with.
    function setDefaults() {
        for (var name in P.parameters) {
            if (filter.get(name) === '')
                filter.set(name, param(name).defaultValue);
        }
    }

    function setFixed() {
        // Values the panel does not show: the time unit MLT passes, and the frame's own alpha,
        // since Shotcut composites every track over the one below.
        for (var name in P.fixed)
            filter.set(name, P.fixed[name]);
    }

    // A parameter the project does not set has the module's default.
    function text(name) {
        var value = filter.get(name);
        return value === '' ? String(param(name).defaultValue) : value;
    }

    function number(name, position) {
        return filter.get(name) === '' ? param(name).defaultValue : filter.getDouble(name, position);
    }

    function setList(combo, name) {
        combo.currentIndex = param(name).items.indexOf(text(name));
    }

    function setWhole(spin, name) {
        spin.value = Math.round(shown(name, number(name, 0)));
    }

    function setFontControls() {
        var fields = text(param('Font').name).split(',');
        var family = fields[0] === '' ? 'Liberation Sans' : fields[0];
        fontCombo.currentIndex = Math.max(0, fontCombo.model.indexOf(family));
        boldCheck.checked = fields.length > 2 && (fields[2] === 'bold' || parseInt(fields[2]) > 400);
        italicCheck.checked = fields.length > 3 && (fields[3] === '1' || fields[3] === 'yes' || fields[3] === 'true');
    }

    function setFont() {
        if (blockUpdate)
            return ;

        // FACE,HEIGHT,WEIGHT,ITALIC as zelhost --font takes it; an empty height keeps the default.
        filter.set(param('Font').name, fontCombo.currentText + ',,' + (boldCheck.checked ? 'bold' : 'normal') + ',' + (italicCheck.checked ? '1' : '0'));
    }

    function setControls() {
        var position = getPosition();
        blockUpdate = true;
        setList(typeCombo, 'the List value');
        setList(styleCombo, 'Style List');
        setList(alignmentCombo, 'Alignment List');
        setList(rateCombo, 'Frame Rate');
        startText.text = text(param('Start Time').name);
        setWhole(hourSpin, 'Start Time Hour');
        setWhole(minuteSpin, 'Start Time Minute');
        setWhole(secondSpin, 'Start Time Second');
        setWhole(millisecondSpin, 'Start Time Millsecond');
        setWhole(frameSpin, 'Start Time Frame');
        setWhole(daySpin, 'Start Time Day');
        setWhole(monthSpin, 'Start Time Month');
        setWhole(yearSpin, 'Start Time Year');
        setWhole(speedSpin, 'Time Speed Factor');
        countDownCheck.checked = number(param('Count Down').name, 0) >= 0.5;
        foregroundColour.value = text(param('Foreground RGB Color').name);
        backgroundColour.value = text(param('Background RGB Color').name);
        setFontControls();
        for (var i in keyframableParameters) {
            var name = keyframableParameters[i];
            sliders[i].value = shown(name, number(name, position));
            keyframeButtons[i].checked = filter.keyframeCount(name) > 0 && filter.animateIn <= 0 && filter.animateOut <= 0;
            sliders[i].enabled = isSimpleKeyframesActive();
        }
        blockUpdate = false;
    }

    function setNumber(index) {
        var name = keyframableParameters[index];
        updateFilter(name, stored(name, sliders[index].value), keyframeButtons[index], getPosition());
    }

    function setSpin(name, value) {
        if (!blockUpdate)
            filter.set(name, stored(name, value));
    }

    function setItem(name, index) {
        if (!blockUpdate && index >= 0)
            filter.set(name, param(name).items[index]);
    }

    keyframableParameters: [param('X').name, param('Y').name, param('Size').name, param('Foreground Opacity').name, param('Background Opacity').name]
    startValues: [0.5, 0.5, 0.5, 1, 1]
    middleValues: [0.5, 0.5, 0.5, 1, 1]
    endValues: [0.5, 0.5, 0.5, 1, 1]
    width: 420
    height: 560
    Component.onCompleted: {
        setDefaults();
        setFixed();
        if (filter.isNew)
            filter.savePreset(preset.parameters);
        else
            initializeSimpleKeyframes();
        setControls();
    }

    GridLayout {
        columns: 4
        anchors.fill: parent
        anchors.margins: 8

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.Preset {
            id: preset

            Layout.columnSpan: 3
            parameters: Object.keys(P.parameters)
            onBeforePresetLoaded: resetSimpleKeyframes()
            onPresetSelected: {
                setControls();
                initializeSimpleKeyframes();
            }
        }

        // The clock
        Label {
            text: param('the List value').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: typeCombo

            Layout.columnSpan: 3
            model: param('the List value').itemTitles
            onActivated: setItem('the List value', index)
        }

        Label {
            text: param('Style List').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: styleCombo

            Layout.columnSpan: 3
            model: param('Style List').itemTitles
            onActivated: setItem('Style List', index)
        }

        Label {
            text: qsTr('Alignment')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: alignmentCombo

            Layout.columnSpan: 3
            model: param('Alignment List').itemTitles
            onActivated: setItem('Alignment List', index)
        }

        Label {
            text: param('Font').title
            Layout.alignment: Qt.AlignRight
        }

        RowLayout {
            Layout.columnSpan: 3

            Shotcut.ComboBox {
                id: fontCombo

                Layout.fillWidth: true
                model: Qt.fontFamilies()
                onActivated: setFont()
            }

            CheckBox {
                id: boldCheck

                text: qsTr('Bold')
                onClicked: setFont()
            }

            CheckBox {
                id: italicCheck

                text: qsTr('Italic')
                onClicked: setFont()
            }
        }

        // Colours and opacities
        Label {
            text: param('Foreground RGB Color').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ColorPicker {
            id: foregroundColour

            Layout.columnSpan: 3
            eyedropper: true
            alpha: false
            onValueChanged: if (!blockUpdate) filter.set(param('Foreground RGB Color').name, value)
        }

        Label {
            text: param('Foreground Opacity').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: foregroundOpacitySlider

            minimumValue: param('Foreground Opacity').minimum
            maximumValue: param('Foreground Opacity').maximum
            decimals: param('Foreground Opacity').decimals
            suffix: ' ' + param('Foreground Opacity').suffix
            onValueChanged: setNumber(3)
        }

        Shotcut.UndoButton {
            onClicked: foregroundOpacitySlider.value = shown('Foreground Opacity', param('Foreground Opacity').defaultValue)
        }

        Shotcut.KeyframesButton {
            id: foregroundOpacityKeyframes

            onToggled: toggleKeyframes(checked, param('Foreground Opacity').name, stored('Foreground Opacity', foregroundOpacitySlider.value))
        }

        Label {
            text: param('Background RGB Color').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ColorPicker {
            id: backgroundColour

            Layout.columnSpan: 3
            eyedropper: true
            alpha: false
            onValueChanged: if (!blockUpdate) filter.set(param('Background RGB Color').name, value)
        }

        Label {
            text: param('Background Opacity').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: backgroundOpacitySlider

            minimumValue: param('Background Opacity').minimum
            maximumValue: param('Background Opacity').maximum
            decimals: param('Background Opacity').decimals
            suffix: ' ' + param('Background Opacity').suffix
            onValueChanged: setNumber(4)
        }

        Shotcut.UndoButton {
            onClicked: backgroundOpacitySlider.value = shown('Background Opacity', param('Background Opacity').defaultValue)
        }

        Shotcut.KeyframesButton {
            id: backgroundOpacityKeyframes

            onToggled: toggleKeyframes(checked, param('Background Opacity').name, stored('Background Opacity', backgroundOpacitySlider.value))
        }

        // Position and size; the rectangle on the video (vui.qml) sets the same numbers.
        Label {
            text: param('X').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: xSlider

            minimumValue: param('X').minimum
            maximumValue: param('X').maximum
            decimals: param('X').decimals
            suffix: ' ' + param('X').suffix
            onValueChanged: setNumber(0)
        }

        Shotcut.UndoButton {
            onClicked: xSlider.value = shown('X', param('X').defaultValue)
        }

        Shotcut.KeyframesButton {
            id: xKeyframes

            onToggled: toggleKeyframes(checked, param('X').name, stored('X', xSlider.value))
        }

        Label {
            text: param('Y').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: ySlider

            minimumValue: param('Y').minimum
            maximumValue: param('Y').maximum
            decimals: param('Y').decimals
            suffix: ' ' + param('Y').suffix
            onValueChanged: setNumber(1)
        }

        Shotcut.UndoButton {
            onClicked: ySlider.value = shown('Y', param('Y').defaultValue)
        }

        Shotcut.KeyframesButton {
            id: yKeyframes

            onToggled: toggleKeyframes(checked, param('Y').name, stored('Y', ySlider.value))
        }

        Label {
            text: param('Size').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: sizeSlider

            minimumValue: param('Size').minimum
            maximumValue: param('Size').maximum
            decimals: param('Size').decimals
            suffix: ' ' + param('Size').suffix
            onValueChanged: setNumber(2)
        }

        Shotcut.UndoButton {
            onClicked: sizeSlider.value = shown('Size', param('Size').defaultValue)
        }

        Shotcut.KeyframesButton {
            id: sizeKeyframes

            onToggled: toggleKeyframes(checked, param('Size').name, stored('Size', sizeSlider.value))
        }

        // Time
        Label {
            text: param('Start Time').title
            Layout.alignment: Qt.AlignRight
        }

        TextField {
            id: startText

            Layout.columnSpan: 3
            Layout.fillWidth: true
            placeholderText: qsTr('as the timer style shows it')
            onEditingFinished: filter.set(param('Start Time').name, text)
        }

        Label {
            text: qsTr('Start at')
            Layout.alignment: Qt.AlignRight
        }

        RowLayout {
            Layout.columnSpan: 3

            SpinBox {
                id: hourSpin

                from: param('Start Time Hour').minimum
                to: param('Start Time Hour').maximum
                editable: true
                onValueModified: setSpin('Start Time Hour', value)
            }

            SpinBox {
                id: minuteSpin

                from: param('Start Time Minute').minimum
                to: param('Start Time Minute').maximum
                editable: true
                onValueModified: setSpin('Start Time Minute', value)
            }

            SpinBox {
                id: secondSpin

                from: param('Start Time Second').minimum
                to: param('Start Time Second').maximum
                editable: true
                onValueModified: setSpin('Start Time Second', value)
            }
        }

        Label {
            text: qsTr('ms, frame')
            Layout.alignment: Qt.AlignRight
        }

        RowLayout {
            Layout.columnSpan: 3

            SpinBox {
                id: millisecondSpin

                from: param('Start Time Millsecond').minimum
                to: param('Start Time Millsecond').maximum
                editable: true
                onValueModified: setSpin('Start Time Millsecond', value)
            }

            SpinBox {
                id: frameSpin

                from: param('Start Time Frame').minimum
                to: param('Start Time Frame').maximum
                editable: true
                onValueModified: setSpin('Start Time Frame', value)
            }
        }

        Label {
            text: qsTr('Date (d m y)')
            Layout.alignment: Qt.AlignRight
        }

        RowLayout {
            Layout.columnSpan: 3

            SpinBox {
                id: daySpin

                from: param('Start Time Day').minimum
                to: param('Start Time Day').maximum
                editable: true
                onValueModified: setSpin('Start Time Day', value)
            }

            SpinBox {
                id: monthSpin

                from: param('Start Time Month').minimum
                to: param('Start Time Month').maximum
                editable: true
                onValueModified: setSpin('Start Time Month', value)
            }

            SpinBox {
                id: yearSpin

                from: param('Start Time Year').minimum
                to: param('Start Time Year').maximum
                editable: true
                onValueModified: setSpin('Start Time Year', value)
            }
        }

        Label {
            text: param('Time Speed Factor').title
            Layout.alignment: Qt.AlignRight
        }

        RowLayout {
            Layout.columnSpan: 3

            SpinBox {
                id: speedSpin

                from: param('Time Speed Factor').minimum
                to: param('Time Speed Factor').maximum
                editable: true
                onValueModified: setSpin('Time Speed Factor', value)
            }

            CheckBox {
                id: countDownCheck

                text: param('Count Down').title
                onClicked: filter.set(param('Count Down').name, checked ? 1 : 0)
            }
        }

        Label {
            text: param('Frame Rate').title
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: rateCombo

            Layout.columnSpan: 3
            model: param('Frame Rate').itemTitles
            onActivated: setItem('Frame Rate', index)
        }

        Item {
            Layout.fillHeight: true
        }
    }

    Connections {
        function onChanged() {
            setControls();
        }

        function onInChanged() {
            for (var i in keyframableParameters) setNumber(i)
        }

        function onOutChanged() {
            for (var i in keyframableParameters) setNumber(i)
        }

        function onAnimateInChanged() {
            for (var i in keyframableParameters) setNumber(i)
        }

        function onAnimateOutChanged() {
            for (var i in keyframableParameters) setNumber(i)
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            setControls();
        }

        target: producer
    }
}
