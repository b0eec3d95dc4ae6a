' Creates the class by its ProgID and calls an operation with its values in
' parentheses: the script host passes only Variants by reference, so typed
' by-reference parameters take values. Without a drawing the operation
' reports the missing object in a message box and returns an empty result.
Dim centerline, bearing, point
Set centerline = CreateObject("Palvane.CenterlineClass")
bearing = 7
point = centerline.LWPolyPntAlong((Nothing), (Nothing), (12.5), (bearing))
If IsEmpty(point) And bearing = 7 Then WScript.Echo "palvane-script-ok"
