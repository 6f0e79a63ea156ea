! Generator of tests/frame/data/format_cases.txt: the reference output of
! the Fortran run-time (gfortran) for the edit descriptors and the
! list-directed items that orvika::Rec reproduces.  Kept for reference;
! not built by CMake.
!
!   gfortran -O0 gen_format_cases.f90 -o gen && ./gen > format_cases.txt
!
! One case a line, fields separated by " | ":
!   descriptor | parameters | value | readable value | [output]
! Parameters by kind:  I w m  /  F w d scale  /  E w d scale e letter  /
!   G w d scale  /  L w  /  A w (w = 0: plain A)  /  LIST items  /
!   REC operations.  Reals are given by the hex bits of the double;
! text values are written between single quotes.
program gen_format_cases
  use, intrinsic :: ieee_arithmetic
  use, intrinsic :: iso_fortran_env, only: int64, real64
  implicit none
  real(real64) :: vals(80), sweep(256), pinf, ninf, qnan, nzero
  integer(int64) :: ints(40)
  integer :: nc, ns, ni, k, j
  real(real64) :: mant(6)

  pinf = ieee_value(1.0_real64, ieee_positive_inf)
  ninf = ieee_value(1.0_real64, ieee_negative_inf)
  qnan = ieee_value(1.0_real64, ieee_quiet_nan)
  nzero = -0.0_real64

  nc = 0
  call addc(0.0_real64); call addc(nzero); call addc(1.0_real64); call addc(-1.0_real64)
  call addc(0.5_real64); call addc(-0.5_real64); call addc(0.125_real64); call addc(0.375_real64)
  call addc(2.5_real64); call addc(1.5_real64); call addc(0.1_real64); call addc(0.05_real64)
  call addc(0.099999_real64); call addc(0.0999996_real64); call addc(0.09999996_real64)
  call addc(0.95_real64); call addc(0.99999_real64); call addc(0.999995_real64)
  call addc(0.9999995_real64); call addc(9.999995_real64); call addc(9.99995_real64)
  call addc(99999.5_real64); call addc(99999.4_real64); call addc(99999.0_real64)
  call addc(1.0e5_real64); call addc(999999.5_real64); call addc(1.0e6_real64)
  call addc(123.457_real64); call addc(-123.457_real64); call addc(12.3456_real64)
  call addc(123456.0_real64); call addc(-0.00123456_real64)
  call addc(1.0e-5_real64); call addc(-1.0e-5_real64); call addc(1.234e-5_real64)
  call addc(3.14159265358979_real64); call addc(-2.718281828_real64)
  call addc(1.0e99_real64); call addc(9.999999e99_real64); call addc(1.0e100_real64)
  call addc(-1.0e100_real64)
  call addc(1.0e-99_real64); call addc(1.0e-100_real64); call addc(1.0e-101_real64)
  call addc(1.0e300_real64); call addc(-1.0e300_real64); call addc(1.0e-300_real64)
  call addc(huge(1.0_real64)); call addc(-huge(1.0_real64)); call addc(tiny(1.0_real64))
  call addc(4.9406564584124654e-324_real64)
  call addc(1.0e16_real64); call addc(1.0e17_real64); call addc(12345678.9_real64)
  call addc(-99.9996_real64); call addc(5.0e-5_real64); call addc(4.999e-4_real64)
  call addc(-4.0e-5_real64); call addc(-0.00004999_real64); call addc(0.00005_real64)
  call addc(7.0_real64); call addc(-7.0_real64); call addc(1.0e10_real64)
  call addc(pinf); call addc(ninf); call addc(qnan)

  ! Decade sweep for the general edit and the exponent forms.
  mant = [1.0_real64, 1.23456789_real64, 9.99996_real64, 9.999949_real64, &
          9.9999_real64, 5.0_real64]
  ns = 0
  do k = -8, 9
    do j = 1, size(mant)
      ns = ns + 1
      sweep(ns) = mant(j) * 10.0_real64**k
      ns = ns + 1
      sweep(ns) = -sweep(ns - 1)
    end do
  end do

  ni = 0
  call addi(0_int64); call addi(1_int64); call addi(-1_int64); call addi(7_int64)
  call addi(42_int64); call addi(-42_int64); call addi(99_int64); call addi(100_int64)
  call addi(-99_int64); call addi(-100_int64); call addi(999_int64); call addi(-999_int64)
  call addi(12345_int64); call addi(-12345_int64); call addi(99999_int64); call addi(100000_int64)
  call addi(-9999_int64); call addi(123456_int64); call addi(2147483647_int64)
  call addi(-2147483648_int64); call addi(4294967303_int64); call addi(9999999999_int64)
  call addi(-999999999_int64); call addi(huge(1_int64)); call addi(-huge(1_int64) - 1_int64)
  call addi(1234567890123_int64)

  write(*, '(A)') '# Reference output of the Fortran run-time for orvika::Rec (written by'
  write(*, '(A)') '# gen_format_cases.f90; regenerate only deliberately, reading the diff).'
  write(*, '(A)') '# descriptor | parameters | value | readable value | [output]'

  ! Integers.
  do k = 1, ni
    call icase(1, -1, ints(k)); call icase(2, -1, ints(k)); call icase(5, -1, ints(k))
    call icase(6, -1, ints(k)); call icase(11, -1, ints(k)); call icase(21, -1, ints(k))
    call icase(3, 2, ints(k)); call icase(5, 0, ints(k)); call icase(6, 4, ints(k))
    call icase(12, 11, ints(k))
  end do

  ! Reals: every descriptor over the common values.
  do k = 1, nc
    call fcase(8, 3, 0, vals(k)); call fcase(6, 0, 0, vals(k))
    call fcase(10, 4, 0, vals(k)); call fcase(12, 5, 0, vals(k))
    call fcase(4, 3, 0, vals(k)); call fcase(5, 3, 0, vals(k))
    call fcase(25, 17, 0, vals(k)); call fcase(10, 3, 1, vals(k))
    call ecase(12, 4, 0, 0, 'E', vals(k)); call ecase(13, 5, 1, 0, 'E', vals(k))
    call ecase(13, 5, 1, 0, 'D', vals(k)); call ecase(15, 7, 0, 0, 'D', vals(k))
    call ecase(12, 5, 0, 0, 'E', vals(k)); call ecase(10, 3, 0, 3, 'E', vals(k))
    call ecase(12, 4, 0, 2, 'E', vals(k)); call ecase(9, 4, 0, 0, 'E', vals(k))
    call ecase(10, 4, 0, 0, 'E', vals(k)); call ecase(25, 17, 1, 3, 'E', vals(k))
    call gcase(12, 5, 0, vals(k)); call gcase(10, 3, 0, vals(k))
    call gcase(25, 17, 0, vals(k)); call gcase(12, 5, 1, vals(k))
    call fcase(8, 2, 0, vals(k)); call ecase(10, 2, 0, 0, 'E', vals(k))
    call gcase(10, 2, 0, vals(k)); call ecase(11, 2, 2, 0, 'E', vals(k))
    call ecase(12, 4, -1, 0, 'E', vals(k)); call ecase(13, 4, 3, 0, 'E', vals(k))
  end do
  do k = 1, ns
    call gcase(12, 5, 0, sweep(k)); call gcase(10, 3, 0, sweep(k))
    call ecase(12, 4, 0, 0, 'E', sweep(k)); call ecase(13, 5, 1, 0, 'D', sweep(k))
    call fcase(10, 4, 0, sweep(k))
  end do

  ! Infinity and NaN in every width from 1 to 10.
  do k = 1, 10
    call fcase(k, 0, 0, pinf); call fcase(k, 0, 0, ninf); call fcase(k, 0, 0, qnan)
    call ecase(k, 1, 0, 0, 'E', pinf); call ecase(k, 1, 0, 0, 'E', ninf)
    call ecase(k, 1, 0, 0, 'E', qnan)
    call gcase(k, 1, 0, pinf); call gcase(k, 1, 0, ninf); call gcase(k, 1, 0, qnan)
  end do

  ! Logicals and text.
  call lcase(3, .true.); call lcase(3, .false.); call lcase(1, .true.); call lcase(5, .false.)
  call acase(5, 'ab'); call acase(5, 'abcde'); call acase(5, 'abcdefg'); call acase(5, '')
  call acase(1, 'xyz'); call acase(10, 'Hello'); call acase(0, 'Hello, world')
  call acase(0, ' lead and trail ')

  ! List-directed items.
  do k = 1, ni
    call list_i(ints(k))
  end do
  do k = 1, nc
    call list_r(vals(k))
  end do
  call list_r(0.1_real64); call list_r(123456789.0_real64); call list_r(1.0e20_real64)
  call list_r(-1.5_real64); call list_r(1.0e-5_real64); call list_r(2.0_real64/3.0_real64)
  call list_r(1.0e15_real64); call list_r(99999999999999999.0_real64)
  call list_r(0.099999999999999992_real64); call list_r(-0.1_real64)
  do k = -8, 9
    call list_r(1.23456789_real64 * 10.0_real64**k)
  end do
  call list_t('abc'); call list_t(' x y '); call list_t('')
  call list_mixed()

  ! Records built from several items and position edits.
  call rec_cases()

contains

  subroutine addc(x)
    real(real64), intent(in) :: x
    nc = nc + 1
    vals(nc) = x
  end subroutine

  subroutine addi(i)
    integer(int64), intent(in) :: i
    ni = ni + 1
    ints(ni) = i
  end subroutine

  function hexof(x) result(h)
    real(real64), intent(in) :: x
    character(16) :: h
    write(h, '(Z16.16)') transfer(x, 0_int64)
  end function

  function readable(x) result(s)
    real(real64), intent(in) :: x
    character(:), allocatable :: s
    character(40) :: b
    write(b, '(ES25.17E3)') x
    s = trim(adjustl(b))
  end function

  function itoa(i) result(s)
    integer(int64), intent(in) :: i
    character(:), allocatable :: s
    character(24) :: b
    write(b, '(I0)') i
    s = trim(b)
  end function

  function ntoa(i) result(s)
    integer, intent(in) :: i
    character(:), allocatable :: s
    character(12) :: b
    write(b, '(I0)') i
    s = trim(b)
  end function

  subroutine emit(desc, params, val, rd, out)
    character(*), intent(in) :: desc, params, val, rd, out
    write(*, '(A)') desc // ' | ' // params // ' | ' // val // ' | ' // rd // ' | [' // out // ']'
  end subroutine

  subroutine icase(w, m, v)
    integer, intent(in) :: w, m
    integer(int64), intent(in) :: v
    character(64) :: buf
    character(:), allocatable :: desc
    if (m >= 0) then
      desc = 'I' // ntoa(w) // '.' // ntoa(m)
    else
      desc = 'I' // ntoa(w)
    end if
    write(buf, '(' // desc // ')') v
    call emit(desc, 'I ' // ntoa(w) // ' ' // ntoa(m), itoa(v), itoa(v), buf(1:w))
  end subroutine

  function pfx(scale) result(s)
    integer, intent(in) :: scale
    character(:), allocatable :: s
    if (scale /= 0) then
      s = ntoa(scale) // 'P'
    else
      s = ''
    end if
  end function

  subroutine fcase(w, d, scale, x)
    integer, intent(in) :: w, d, scale
    real(real64), intent(in) :: x
    character(64) :: buf
    character(:), allocatable :: desc
    desc = pfx(scale) // 'F' // ntoa(w) // '.' // ntoa(d)
    write(buf, '(' // desc // ')') x
    call emit(desc, 'F ' // ntoa(w) // ' ' // ntoa(d) // ' ' // ntoa(scale), hexof(x), &
              readable(x), buf(1:w))
  end subroutine

  subroutine ecase(w, d, scale, e, letter, x)
    integer, intent(in) :: w, d, scale, e
    character, intent(in) :: letter
    real(real64), intent(in) :: x
    character(64) :: buf
    character(:), allocatable :: desc
    desc = pfx(scale) // letter // ntoa(w) // '.' // ntoa(d)
    if (e > 0) desc = desc // 'E' // ntoa(e)
    write(buf, '(' // desc // ')') x
    call emit(desc, 'E ' // ntoa(w) // ' ' // ntoa(d) // ' ' // ntoa(scale) // ' ' // &
              ntoa(e) // ' ' // letter, hexof(x), readable(x), buf(1:w))
  end subroutine

  subroutine gcase(w, d, scale, x)
    integer, intent(in) :: w, d, scale
    real(real64), intent(in) :: x
    character(64) :: buf
    character(:), allocatable :: desc
    desc = pfx(scale) // 'G' // ntoa(w) // '.' // ntoa(d)
    write(buf, '(' // desc // ')') x
    call emit(desc, 'G ' // ntoa(w) // ' ' // ntoa(d) // ' ' // ntoa(scale), hexof(x), &
              readable(x), buf(1:w))
  end subroutine

  subroutine lcase(w, v)
    integer, intent(in) :: w
    logical, intent(in) :: v
    character(64) :: buf
    character(4) :: val
    write(buf, '(L' // ntoa(w) // ')') v
    val = merge('-1', '0 ', v)
    call emit('L' // ntoa(w), 'L ' // ntoa(w), trim(val), trim(val), buf(1:w))
  end subroutine

  subroutine acase(w, s)
    integer, intent(in) :: w
    character(*), intent(in) :: s
    character(64) :: buf
    if (w > 0) then
      write(buf, '(A' // ntoa(w) // ')') s
      call emit('A' // ntoa(w), 'A ' // ntoa(w), "'" // s // "'", "'" // s // "'", buf(1:w))
    else
      write(buf, '(A)') s
      call emit('A', 'A 0', "'" // s // "'", "'" // s // "'", buf(1:len(s)))
    end if
  end subroutine

  ! The record last written on unit 20 (the file is rewritten each time).
  function lastrec() result(s)
    character(:), allocatable :: s
    character(512) :: line
    integer :: n, ios
    close(20)
    open(20, file='gen_format_cases.tmp', status='old', action='read')
    line = ' '
    read(20, '(A)', advance='no', size=n, iostat=ios) line
    close(20, status='delete')
    s = line(1:n)
  end function

  subroutine opentmp()
    open(20, file='gen_format_cases.tmp', status='replace', action='write')
  end subroutine

  subroutine list_i(i)
    integer(int64), intent(in) :: i
    call opentmp()
    write(20, *) i
    call emit('*', 'LIST i', itoa(i), itoa(i), lastrec())
  end subroutine

  subroutine list_r(x)
    real(real64), intent(in) :: x
    call opentmp()
    write(20, *) x
    call emit('*', 'LIST r', hexof(x), readable(x), lastrec())
  end subroutine

  subroutine list_t(s)
    character(*), intent(in) :: s
    call opentmp()
    write(20, *) s
    call emit('*', 'LIST t', "'" // s // "'", "'" // s // "'", lastrec())
  end subroutine

  ! Records of several list-directed items: the value field lists the items
  ! as i:<integer>, r:<hex bits>, t:<text without blanks>.
  subroutine list_mixed()
    real(real64) :: a, b
    a = 1.5_real64
    b = -1.0e20_real64
    call opentmp(); write(20, *) 1_int64, -2_int64
    call emit('*', 'LIST', 'i:1 i:-2', '1, -2', lastrec())
    call opentmp(); write(20, *) a, b
    call emit('*', 'LIST', 'r:' // hexof(a) // ' r:' // hexof(b), '1.5, -1e20', lastrec())
    call opentmp(); write(20, *) 3_int64, a
    call emit('*', 'LIST', 'i:3 r:' // hexof(a), '3, 1.5', lastrec())
    call opentmp(); write(20, *) a, 3_int64
    call emit('*', 'LIST', 'r:' // hexof(a) // ' i:3', '1.5, 3', lastrec())
    call opentmp(); write(20, *) 'N=', 12_int64
    call emit('*', 'LIST', 't:N= i:12', '''N='', 12', lastrec())
    call opentmp(); write(20, *) 12_int64, 'items'
    call emit('*', 'LIST', 'i:12 t:items', '12, ''items''', lastrec())
    call opentmp(); write(20, *) 'abc', 'def'
    call emit('*', 'LIST', 't:abc t:def', '''abc'', ''def''', lastrec())
    call opentmp(); write(20, *) a, 'x'
    call emit('*', 'LIST', 'r:' // hexof(a) // ' t:x', '1.5, ''x''', lastrec())
    call opentmp(); write(20, *) 'X=', a
    call emit('*', 'LIST', 't:X= r:' // hexof(a), '''X='', 1.5', lastrec())
    call opentmp(); write(20, *) 'X=', a, 'N=', 4_int64, 'done'
    call emit('*', 'LIST', 't:X= r:' // hexof(a) // ' t:N= i:4 t:done', &
              '''X='', 1.5, ''N='', 4, ''done''', lastrec())
  end subroutine

  ! Records from formats with position edits.  Operations (the REC
  ! parameters): A:<text>  A<w>:<text>  I<w>:<integer>  L<w>:T|F  X:<n>
  ! T:<n>  TR:<n>  TL:<n>  E<w>.<d>:<hex>.  Consecutive position edits
  ! without data between them are left out: the run-time merges them
  ! wrongly (A,T20,T5,A puts the second item in column 17).
  subroutine rec_cases()
    call opentmp(); write(20, '(A,T10,A)') 'abc', 'xyz'
    call emit('(A,T10,A)', 'REC A:abc T:10 A:xyz', '-', '-', lastrec())
    call opentmp(); write(20, '(A,T2,A)') 'abcdef', 'X'
    call emit('(A,T2,A)', 'REC A:abcdef T:2 A:X', '-', '-', lastrec())
    call opentmp(); write(20, '(A,TL3,A)') 'abcdef', 'XY'
    call emit('(A,TL3,A)', 'REC A:abcdef TL:3 A:XY', '-', '-', lastrec())
    call opentmp(); write(20, '(A,TR2,A)') 'ab', 'cd'
    call emit('(A,TR2,A)', 'REC A:ab TR:2 A:cd', '-', '-', lastrec())
    call opentmp(); write(20, '(A,5X,A)') 'ab', 'cd'
    call emit('(A,5X,A)', 'REC A:ab X:5 A:cd', '-', '-', lastrec())
    call opentmp(); write(20, '(T5,A)') 'x'
    call emit('(T5,A)', 'REC T:5 A:x', '-', '-', lastrec())
    call opentmp(); write(20, '(A,T1,A)') 'abc', 'Z'
    call emit('(A,T1,A)', 'REC A:abc T:1 A:Z', '-', '-', lastrec())
    call opentmp(); write(20, '(A,TL10,A)') 'abc', 'Z'
    call emit('(A,TL10,A)', 'REC A:abc TL:10 A:Z', '-', '-', lastrec())
    call opentmp(); write(20, '(I5,T3,A)') 42_int64, 'Q'
    call emit('(I5,T3,A)', 'REC I5:42 T:3 A:Q', '-', '-', lastrec())
    call opentmp(); write(20, '(A,T8,A,T4,A)') 'ab', 'cd', 'e'
    call emit('(A,T8,A,T4,A)', 'REC A:ab T:8 A:cd T:4 A:e', '-', '-', lastrec())
    call opentmp(); write(20, '(A,T2,A,T6,A)') 'abc', 'Z', 'Y'
    call emit('(A,T2,A,T6,A)', 'REC A:abc T:2 A:Z T:6 A:Y', '-', '-', lastrec())
    call opentmp(); write(20, '(A,T20,A,T5,A)') 'abc', 'Z', 'Y'
    call emit('(A,T20,A,T5,A)', 'REC A:abc T:20 A:Z T:5 A:Y', '-', '-', lastrec())
    call opentmp(); write(20, '(3X,I3,2X,L3,A5)') 7_int64, .true., 'ab'
    call emit('(3X,I3,2X,L3,A5)', 'REC X:3 I3:7 X:2 L3:T A5:ab', '-', '-', lastrec())
    call opentmp(); write(20, '(2X,A,5X,A,I6)') 'Warning: Length of', 'LABEL', -12_int64
    call emit('(2X,A,5X,A,I6)', 'REC X:2 A:Warning:_Length_of X:5 A:LABEL I6:-12', '-', '-', &
              lastrec())
    call opentmp(); write(20, '(A,T3,A5)') 'abcdefgh', 'Z'
    call emit('(A,T3,A5)', 'REC A:abcdefgh T:3 A5:Z', '-', '-', lastrec())
    call opentmp(); write(20, '(A,T2,L3,T7,I3)') 'abcdefghijkl', .true., 7_int64
    call emit('(A,T2,L3,T7,I3)', 'REC A:abcdefghijkl T:2 L3:T T:7 I3:7', '-', '-', lastrec())
    call opentmp(); write(20, '(A,TL8,G12.5)') 'abcdefghijklmn', 1.0_real64
    call emit('(A,TL8,G12.5)', 'REC A:abcdefghijklmn TL:8 G12.5:' // hexof(1.0_real64), &
              '-', '-', lastrec())
    call opentmp(); write(20, '(A,5X)') 'ab'
    call emit('(A,5X)', 'REC A:ab X:5', '-', '-', lastrec())
    call opentmp(); write(20, '(A,TR4)') 'ab'
    call emit('(A,TR4)', 'REC A:ab TR:4', '-', '-', lastrec())
    call opentmp(); write(20, '(A,T9)') 'ab'
    call emit('(A,T9)', 'REC A:ab T:9', '-', '-', lastrec())
    call opentmp(); write(20, '(A,T1)') 'abc'
    call emit('(A,T1)', 'REC A:abc T:1', '-', '-', lastrec())
    call opentmp(); write(20, '(A,TL2,1X)') 'abc'
    call emit('(A,TL2,1X)', 'REC A:abc TL:2 X:1', '-', '-', lastrec())
    call opentmp(); write(20, '(3X,1P,2D13.5)') 123.457_real64, -0.5_real64
    call emit('(3X,1P,2D13.5)', 'REC X:3 1PD13.5:' // hexof(123.457_real64) // &
              ' 1PD13.5:' // hexof(-0.5_real64), '-', '-', lastrec())
    call opentmp(); write(20, '(6X,I3,2G12.5)') 1_int64, 1.0_real64, 123456.0_real64
    call emit('(6X,I3,2G12.5)', 'REC X:6 I3:1 G12.5:' // hexof(1.0_real64) // &
              ' G12.5:' // hexof(123456.0_real64), '-', '-', lastrec())
  end subroutine

end program gen_format_cases
