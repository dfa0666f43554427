; zeldemo.asm: the DOS program of the demo's full-screen session (a .COM
; image, assembled by the build with nasm). In the 80 x 25 text mode the
; session's BIOS set, it draws its screen straight into the text window at
; 0B8000 and through INT 10h teletype, takes the adapter line from its
; command tail, shapes the cursor, and then, under a synchronous reset of
; its own, switches to 8-dot cells on the 25 MHz clock and gives colour 1 a
; deeper blue.

        org 0x100

ATTR_DESK   equ 0x17
ATTR_FRAME  equ 0x1F
ATTR_LABEL  equ 0x1B
ATTR_VALUE  equ 0x1E
ATTR_BAR    equ 0x70
ATTR_KEYS   equ 0x30
ATTR_PROMPT equ 0x07

; The screen as records, played in order, each starting with its kind, row,
; column and attribute.
FILL equ 1      ; char, count (word): cells from there on, into the rows below
TEXT equ 2      ; length, characters
DOWN equ 3      ; char, count: a column of cells
SEQ  equ 4      ; first char, count: successive characters
TAIL equ 5      ; the command tail's characters
TTY  equ 6      ; length, characters: the cursor placed there, then teletype

%macro fill 5           ; row, column, count, char, attribute
        db FILL, %1, %2, %5, %4
        dw %3
%endmacro
%macro text 4           ; row, column, attribute, string
%strlen %%n %4
        db TEXT, %1, %2, %3, %%n, %4
%endmacro
%macro tty 4            ; row, column, attribute (for the cells first), string
%strlen %%n %4
        db FILL, %1, %2, %3, ' '
        dw %%n
        db TTY, %1, %2, %3, %%n, %4
%endmacro

start:
        cld
        mov ax, 0xB800
        mov es, ax
        mov si, screen
.record:
        lodsb
        test al, al
        jz .drawn
        mov bl, al              ; kind
        lodsb
        mov dh, al              ; row
        lodsb
        mov dl, al              ; column
        call cell
        lodsb
        mov ah, al              ; attribute
        cmp bl, FILL
        je .fill
        cmp bl, TEXT
        je .text
        cmp bl, DOWN
        je .down
        cmp bl, SEQ
        je .seq
        cmp bl, TAIL
        je .tail
        jmp .tty

.fill:  lodsb
        mov bx, ax
        lodsw
        mov cx, ax
        mov ax, bx
        rep stosw
        jmp .record

.text:  lodsb
        mov cl, al
        xor ch, ch
.text1: lodsb
        stosw
        loop .text1
        jmp .record

.down:  lodsb
        mov bl, al
        lodsb
        mov cl, al
        xor ch, ch
        mov al, bl
.down1: stosw
        add di, 2 * 80 - 2
        loop .down1
        jmp .record

.seq:   lodsb
        mov bl, al
        lodsb
        mov cl, al
        xor ch, ch
        mov al, bl
.seq1:  stosw
        inc al
        loop .seq1
        jmp .record

.tail:  push si
        mov si, 0x80            ; PSP: the tail's length, then its characters
        lodsb
        mov cl, al
        xor ch, ch
        jcxz .tail2
.tail1: lodsb
        stosw
        loop .tail1
.tail2: pop si
        jmp .record

.tty:   mov ah, 0x02            ; cursor to row DH, column DL of page 0
        xor bh, bh
        int 0x10
        lodsb
        mov cl, al
        xor ch, ch
.tty1:  lodsb
        push cx
        push si
        mov ah, 0x0E            ; teletype: the character, the cursor on
        mov bx, 0x0007
        int 0x10
        pop si
        pop cx
        loop .tty1
        jmp .record

.drawn:
        ; Cursor lines 14 and 15 of the 16-line cell (the teletype left it
        ; after the prompt).
        mov ah, 0x01
        mov cx, 0x0E0F
        int 0x10

        ; 8-dot cells on the 25 MHz clock, under a synchronous reset.
        mov dx, 0x3C4
        mov ax, 0x0100
        out dx, ax              ; SR00 := 01h: synchronous reset
        mov al, 0x01
        out dx, al
        inc dx
        in al, dx
        or al, 0x01             ; SR01 bit 0: 8-dot character clocks
        out dx, al
        mov dx, 0x3CC
        in al, dx
        and al, 0xF3            ; misc output clock select 0: 25 MHz
        mov dx, 0x3C2
        out dx, al
        mov dx, 0x3C4
        mov ax, 0x0300
        out dx, ax              ; SR00 := 03h: running again

        mov dx, 0x3C8           ; colour 1, a deeper blue
        mov al, 1
        out dx, al
        inc dx
        mov al, 0x04
        out dx, al
        mov al, 0x10
        out dx, al
        mov al, 0x22
        out dx, al

        mov ax, 0x4C00
        int 0x21

; DI := the offset of row DH, column DL in the text window.
cell:   push ax
        mov al, dh
        mov ah, 80
        mul ah
        mov di, ax
        mov al, dl
        xor ah, ah
        add di, ax
        shl di, 1
        pop ax
        ret

screen:
        fill 0, 0, 80 * 25, ' ', ATTR_DESK
        fill 0, 0, 80, ' ', ATTR_BAR
        text 0, 1, ATTR_BAR, "Zel Diagnostics"
        text 0, 60, ATTR_BAR, "full-screen session"

        ; The frame, rows 2 to 19, columns 3 to 76, in double lines.
        fill 2, 3, 1, 0xC9, ATTR_FRAME
        fill 2, 76, 1, 0xBB, ATTR_FRAME
        fill 19, 3, 1, 0xC8, ATTR_FRAME
        fill 19, 76, 1, 0xBC, ATTR_FRAME
        fill 2, 4, 72, 0xCD, ATTR_FRAME
        fill 19, 4, 72, 0xCD, ATTR_FRAME
        db DOWN, 3, 3, ATTR_FRAME, 0xBA, 16
        db DOWN, 3, 76, ATTR_FRAME, 0xBA, 16
        text 2, 32, ATTR_FRAME, " Adapter check "

        text 4, 6, ATTR_LABEL, "Adapter"
        db TAIL, 4, 19, ATTR_VALUE
        text 5, 6, ATTR_LABEL, "Text mode"
        text 5, 19, ATTR_VALUE, "80 x 25, the BIOS's 8 x 16 ROM font"
        text 6, 6, ATTR_LABEL, "Screen"
        text 6, 19, ATTR_VALUE, "ZELDEMO.COM, at 0B8000 and by INT 10h teletype"
        text 8, 6, ATTR_LABEL, "Colours"
%assign colour 0
%rep 16
        fill 8, 19 + 3 * colour, 2, 0xDB, 0x10 | colour
%assign colour colour + 1
%endrep
        text 10, 6, ATTR_LABEL, "Characters"
        db SEQ, 10, 19, ATTR_VALUE, 0xB0, 48
        db SEQ, 11, 19, ATTR_VALUE, 0xE0, 32
        db SEQ, 11, 51, ATTR_VALUE, 0xE0, 16

        tty 13, 6, ATTR_FRAME, "The program now switches to 8-dot cells at 25 MHz and a deeper"
        tty 14, 6, ATTR_FRAME, "blue under a synchronous reset of its own. The console saves it,"
        tty 15, 6, ATTR_FRAME, "the desktop takes the screen, and the restore brings back every"
        tty 16, 6, ATTR_FRAME, "pixel of this screen: 0123456789."

        fill 24, 0, 80, ' ', ATTR_KEYS
        text 24, 1, ATTR_KEYS, "F1 Help   F3 Exit   F5 Again"
        fill 20, 0, 80 * 4, ' ', ATTR_PROMPT
        tty 22, 0, ATTR_PROMPT, "C:\ZEL> "
        db 0
