; String port instructions in a full-screen session: a synchronous-reset
; burst as one `rep outsw` to the trapped sequencer pair, two DAC entries
; as one `rep outsb`, and the same entries read back with `rep insb`.
        org 0x100
        mov dx, 0x3C4
        mov si, burst
        mov cx, 3
        cld
        rep outsw               ; SR00 := 01h, SR01 := 01h, SR00 := 03h
        mov dx, 0x3C8
        mov al, 1
        out dx, al              ; DAC write index 1
        inc dx
        mov si, colours
        mov cx, 6
        rep outsb               ; entries 1 and 2
        mov dx, 0x3C7
        mov al, 1
        out dx, al              ; DAC read index 1
        mov dx, 0x3C9
        mov di, readback
        mov cx, 6
        rep insb
        int 0x20

burst:    dw 0x0100, 0x0101, 0x0300
colours:  db 0x01, 0x02, 0x03, 0x3D, 0x3E, 0x3F
readback: times 6 db 0
